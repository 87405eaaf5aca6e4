#!/usr/bin/env python3
"""The conversion as a user would script it: ElementTree, base64, a join per row.
Usage: python_converter.py DOCUMENT  (writes DOCUMENT without .XMLdig + .txt)"""
import base64
import sys
import xml.etree.ElementTree as ElementTree


def convert(path):
    root = ElementTree.parse(path).getroot()
    lines = int(root.find("Header/IQelDigitalResult/BusInfo/NumLines").text)
    samples = int(root.find("Header/IQelDigitalResult/NumSamples").text)
    data = base64.b64decode(root.find("Data/Segment/BinaryData").text)
    with open(path[:-7] + ".txt", "w", newline="", encoding="ascii") as out:
        for line in range(lines):
            row = data[line * samples:(line + 1) * samples]
            out.write("".join(str(value) + "," for value in row) + "\r\n")


if __name__ == "__main__":
    convert(sys.argv[1])
