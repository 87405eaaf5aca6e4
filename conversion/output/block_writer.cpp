#include "output/block_writer.h"

#include "block_size.h"
#include "platform/files.h"

namespace sorrelin {

BlockWriter::BlockWriter(OutputTarget& target, std::size_t blockSize)
    : target_(target),
      handOff_(BlocksOfBytes<Bytes>(kHandOffBlocks, blockSize)),
      filling_(handOff_.ToFill()) {
  // Without a thread, Hand writes each block itself.
  handOff_.Start([this](std::stop_token stop) { WriteBlocks(std::move(stop)); });
}

BlockWriter::~BlockWriter() = default;

char* BlockWriter::Hand(std::size_t size) {
  HandLast(size);
  // The block returned is the earliest handed over; ToFill waits until it has been
  // written (or the writes have failed).
  filling_ = handOff_.ToFill();
  return Block();
}

void BlockWriter::HandLast(std::size_t size) {
  filling_->size = size;
  handOff_.Pass();
  if (!handOff_.Threaded()) {
    Bytes* block = handOff_.ToTake();
    if (!handOff_.Fault()) {
      try {
        target_.Write(block->bytes.get(), block->size);
      } catch (...) {
        handOff_.Fail(std::current_exception());
      }
    }
    handOff_.GiveBack();
  }
}

void BlockWriter::WriteBlocks(std::stop_token stop) {
  BlockStopSignalsOnThisThread();
  while (const Bytes* block = handOff_.ToTake(stop)) {
    target_.Write(block->bytes.get(), block->size);
    handOff_.GiveBack();
  }
}

}  // namespace sorrelin
