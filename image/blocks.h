#pragma once
// The length rule and the block split: which bytes of the download file a
// transfer of Download_length sends, in 64-byte blocks. The wire (the link)
// and the image's digest both take their blocks from here, so the digest
// known before the first byte is what a good session sends.
//
// The rule: file bytes are taken while the count read stays within the
// length, so one byte past the length goes out unless the length fills whole
// blocks; a byte past the file's end goes out as 0x00; the last block is
// padded with zeros. A length of 0 or below sends one block.

#include <QByteArray>
#include <cstdint>

class QIODevice;

namespace quarn {

constexpr int kBlockSize = 64;

// Blocks a transfer of this Download_length sends.
int blocksFor(int16_t downloadLength);

// The next block's data into block (kBlockSize bytes): bytes from file while
// readCount (the file bytes taken so far, counted up here) stays within the
// length rule, then zeros to the block's end. At least one file byte is taken.
void takeBlock(QIODevice& file, uint8_t* block, int32_t& readCount, int16_t downloadLength);

// Raw SHA-256 of every block a whole transfer of this Download_length sends
// from the file's bytes. Empty when there are no bytes.
QByteArray imageSha256(const QByteArray& fileBytes, int16_t downloadLength);

}  // namespace quarn
