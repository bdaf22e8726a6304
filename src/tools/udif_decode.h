// Writing one partition of a UDIF disk image: its chunks are read in order on the calling thread,
// decoded on worker threads (every core), and written in order, the chunks in flight holding no
// more than the pipeline's budget whatever the image's size or the number of cores. The
// partition's checksum and the data fork's are checked on the way. Runs on the calling thread
// plus its workers.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "tools/byte_io.h"
#include "tools/udif_image.h"

namespace vu {

// False with `error` naming the first chunk this reader cannot decode ("chunk 3 has the unknown
// type 0x80000009") or that is larger than a chunk may be. Nothing needs to be read for it.
bool CheckUdifPartitionChunks(const UdifPartition& partition, std::string& error);

enum class DecodeOutcome { Done, Failed, Cancelled };

// Writes the partition's bytes to `sink`. `progress(doneBytes)` is called after every chunk
// written; returning false cancels the run. Failed with `error` when a chunk cannot be read or
// decoded, decodes to another size than its sectors, a checksum does not match, the sink
// refuses a write, or memory runs out. `threads` 0 means PipelineThreads(). Given
// `staleForkChecksum`, a data fork checksum that does not match is forgiven (and reported there)
// when the partition's own CRC-32 matched.
DecodeOutcome DecodeUdifPartition(ByteSource& source, const UdifImage& image, const UdifPartition& partition,
                                  ByteSink& sink, const std::function<bool(uint64_t)>& progress,
                                  std::string& error, unsigned threads = 0, bool* staleForkChecksum = nullptr);

}  // namespace vu
