#include "writing/lha/archive_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <cerrno>
#include <cstring>
#include <exception>
#include <thread>

#include "dozo/fileio/io.h"
#include "writing/lha/bit_writer.h"
#include "writing/lha/crc16.h"
#include "writing/lha/decoder.h"
#include "writing/lha/encoder.h"
#include "writing/lha/header.h"

namespace unlha {
namespace {

constexpr std::size_t kChunk = 1 << 18;

std::string sysError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Large files are compressed in segments of this size, each seeded with the
// dictionary's worth of data before it, so that both cores can work. The cut
// depends on the size alone: the archive is the same whatever the machine.
// The encoder's fuzz target sets a smaller one, so that its inputs reach the
// segments.
#ifdef UNLHA_SEGMENT_BYTES
constexpr std::int64_t kSegment = UNLHA_SEGMENT_BYTES;
#else
constexpr std::int64_t kSegment = 1 << 20;
#endif

// Why the compressed bits do not give back the `length` bytes of CRC `crc`
// they were made of; empty when they do. They must take `used` bits (a
// segment, which the next one follows), or with kWhole all but the padding
// of their last byte.
constexpr std::uint64_t kWhole = ~std::uint64_t{0};

std::string decodeMismatch(Method method, const PackedBits& bits,
                           std::span<const std::uint8_t> history, std::uint64_t length,
                           std::uint16_t crc, std::uint64_t used, DecoderMemory& memory) {
    const Decoded d = decode(method, bits, history, length, memory);
    std::string why = d.error;
    if (why.empty() && d.length != length) why = "a wrong length";
    if (why.empty() && d.crc != crc) why = "a wrong CRC";
    if (why.empty() && (used == kWhole ? bits.size() - d.bits >= 8 : d.bits != used))
        why = "bits left over";
    if (why.empty()) return why;
    return "compressed data that does not decode to the input: " + why + " after " +
           std::to_string(d.length) + " of " + std::to_string(length) + " bytes";
}

struct Segment {
    std::int64_t offset = 0, length = 0;
    std::vector<std::uint8_t> input;  // history, then the segment
    std::size_t history = 0;
    std::vector<std::uint8_t> packed;
    std::uint32_t tail = 0;
    int tailBits = 0;
    std::uint16_t crc = 0;                 // of the segment alone
    std::uint64_t firstBit = 0, bits = 0;  // where it lies in its batch's joined bytes
    std::string error;
    int errorNumber = 0;
    bool miscoded = false;      // error is a check of the output that failed
    std::exception_ptr thrown;  // by its worker
    EncoderMemory memory;
    DecoderMemory check;
};

void compressSegment(int inputFd, std::int64_t inputStart, Method method, Level level, bool last,
                     Segment& seg) {
    seg.packed.clear();
    seg.error.clear();
    const std::int64_t from = seg.offset - static_cast<std::int64_t>(seg.history);
    seg.input.resize(seg.history + static_cast<std::size_t>(seg.length));
    const ssize_t n = dozo::fileio::readFully(inputFd, seg.input.data(), seg.input.size(),
                                              static_cast<off_t>(inputStart + from));
    if (n < 0) {
        seg.errorNumber = errno;
        seg.error = sysError("cannot read input");
        return;
    }
    if (static_cast<std::size_t>(n) < seg.input.size()) {
        seg.error = "input file shrank while being archived";
        return;
    }
    Encoder enc(
        method, level,
        [&](std::span<const std::uint8_t> b) {
            seg.packed.insert(seg.packed.end(), b.begin(), b.end());
            return true;
        },
        &seg.memory);
    const std::span<const std::uint8_t> all(seg.input);
    seg.crc = crc16(0, all.subspan(seg.history));
    enc.prime(all.first(seg.history));
    enc.write(all.subspan(seg.history));
    enc.finishSegment(last, &seg.tail, &seg.tailBits);
    seg.bits = seg.packed.size() * 8 + static_cast<std::uint64_t>(seg.tailBits);
}

// Decodes a segment from the bytes it was joined into (the bits of the
// batch's last byte not yet complete as their tail), with its history before
// it, as a reader that reached it would. It must end where the next begins.
void checkSegment(Method method, const std::vector<std::uint8_t>& joined, std::uint32_t tail,
                  int tailBits, Segment& seg) {
    const PackedBits bits{std::span(joined).subspan(seg.firstBit / 8),
                          static_cast<int>(seg.firstBit % 8), tail, tailBits};
    seg.error =
        decodeMismatch(method, bits, std::span(seg.input).first(seg.history),
                       static_cast<std::uint64_t>(seg.length), seg.crc, seg.bits, seg.check);
    seg.miscoded = !seg.error.empty();
    if (seg.miscoded) seg.error += ", in the segment from byte " + std::to_string(seg.offset);
}

// Incompressible input is sampled this many times, and only when it is at
// least kSampledFrom samples long: the samples then cost a fraction of what
// compressing the whole of it would, and spare all of that when it is stored.
constexpr int kSamples = 4;
constexpr std::int64_t kSampledFrom = 16;

// Files smaller than this are compressed whole, by addFile one at a time or
// by addFiles several at once in memory; larger ones in segments.
constexpr std::int64_t kWholeFile = 2 * kSegment;

// addFiles holds at most about this much input of a run of whole files at
// once (and their compressed data until it is written).
constexpr std::int64_t kRunBytes = 16 << 20;

int machineThreads() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

// Whether the samples of `size` bytes shrink: `piece(at, length)` gives the
// bytes at `at`, or nullptr when they cannot be read (compressing then
// reports it). A quick look at the normal level decides for both levels:
// data a shallow search finds no repeats in is stored either way.
bool samplesShrink(std::int64_t size, Method method, EncoderMemory& memory,
                   const std::function<const std::uint8_t*(std::int64_t, std::int64_t)>& piece) {
    // A sample spans a dictionary so that repeats the whole input would find
    // within that distance are seen in it too.
    const std::int64_t sample = (std::int64_t{1} << params(method).dictBits) + (16 << 10);
    if (method == Method::lh0 || size < kSampledFrom * sample) return true;
    std::uint64_t packed = 0;
    for (int i = 0; i < kSamples; ++i) {
        const std::uint8_t* bytes = piece((size - sample) * i / (kSamples - 1), sample);
        if (bytes == nullptr) return true;
        Encoder enc(
            method, Level::normal,
            [&](std::span<const std::uint8_t> b) {
                packed += b.size();
                return true;
            },
            &memory);
        enc.quick();
        enc.write({bytes, static_cast<std::size_t>(sample)});
        enc.finish();
    }
    return packed < static_cast<std::uint64_t>(kSamples * sample);
}

// A file compressed in memory: its data as it goes into the archive.
struct PackedFile {
    Method method = Method::lh0;
    std::vector<std::uint8_t> data;
    std::uint16_t crc = 0;
    std::string error;
    int errorNumber = 0;
    bool miscoded = false;  // error is a check of the output that failed
};

// What addFile writes for a file under kWholeFile bytes, decided and
// compressed the same way from the file read once: the encoder's output,
// checked by decoding it, unless the samples or the whole do not shrink the
// data.
void packWhole(const ArchiveWriter::FileInput& file, Method method, Level level,
               EncoderMemory& memory, DecoderMemory& check, std::vector<std::uint8_t>& input,
               PackedFile& out) {
    out.error.clear();
    out.miscoded = false;
    out.data.clear();
    const off_t at = ::lseek(file.fd, 0, SEEK_CUR);
    if (at < 0) {
        out.errorNumber = errno;
        out.error = sysError("input is not seekable");
        return;
    }
    input.resize(static_cast<std::size_t>(file.size));
    const ssize_t n = dozo::fileio::readFully(file.fd, input.data(), input.size(), at);
    if (n < 0) {
        out.errorNumber = errno;
        out.error = sysError("cannot read input");
        return;
    }
    if (static_cast<std::size_t>(n) < input.size()) {
        out.error = "input file shrank while being archived";
        return;
    }
    ::lseek(file.fd, at + file.size, SEEK_SET);
    out.crc = crc16(0, input);
    out.method = method;
    const auto piece = [&input](std::int64_t from, std::int64_t) { return input.data() + from; };
    if (method != Method::lh0 && file.size > 0 && samplesShrink(file.size, method, memory, piece)) {
        Encoder enc(
            method, level,
            [&](std::span<const std::uint8_t> b) {
                if (out.data.size() + b.size() >= input.size()) return false;
                out.data.insert(out.data.end(), b.begin(), b.end());
                return true;
            },
            &memory);
        if (enc.write(input) && enc.finish()) {
            out.error =
                decodeMismatch(method, {out.data}, {}, input.size(), out.crc, kWhole, check);
            out.miscoded = !out.error.empty();
            return;
        }
    }
    out.method = Method::lh0;
    out.data = input;
}

}  // namespace

bool worthCompressing(int inputFd, std::int64_t inputStart, std::int64_t size, Method method,
                      EncoderMemory& memory, std::vector<std::uint8_t>& buffer) {
    return samplesShrink(
        size, method, memory, [&](std::int64_t at, std::int64_t length) -> const std::uint8_t* {
            buffer.resize(static_cast<std::size_t>(length));
            const ssize_t n = dozo::fileio::readFully(inputFd, buffer.data(), buffer.size(),
                                                      static_cast<off_t>(inputStart + at));
            return n == length ? buffer.data() : nullptr;
        });
}

// One segment per worker, reused batch after batch and file after file: fresh
// megabytes for each segment (or zeroed buffers for each file) cost more in
// page faults and clearing than the compressing.
struct ArchiveWriter::Workspace {
    std::vector<Segment> segments;
    std::vector<std::uint8_t> joined;  // a batch of segments, as it goes into the archive
    EncoderMemory whole;
    DecoderMemory wholeCheck;
    std::vector<std::uint8_t> written;  // what compressWhole wrote, for its check
    std::vector<std::uint8_t> chunk;    // input read for the encoder
    std::vector<PackedFile> packed;
    std::vector<EncoderMemory> threadMemory;  // one per thread
    std::vector<DecoderMemory> threadCheck;
    std::vector<std::vector<std::uint8_t>> threadInput;
    std::vector<std::uint8_t> out;  // entries of a run of whole files, written together
};

ArchiveWriter::~ArchiveWriter() = default;

ArchiveWriter::ArchiveWriter(int fd)
    : fd_(fd), threads_(machineThreads()), work_(std::make_unique<Workspace>()) {
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    offset_ = at < 0 ? 0 : at;
    if (at < 0) error_ = sysError("archive is not seekable");
}

bool ArchiveWriter::fail(std::string message, Failed what, int error) {
    error_ = std::move(message);
    failed_ = what;
    systemError_ = error;
    return false;
}

bool ArchiveWriter::writeAt(std::int64_t offset, std::span<const std::uint8_t> bytes) {
    if (!dozo::fileio::writeAll(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset))) {
        const int error = errno;
        return fail(sysError("cannot write archive"), Failed::archive, error);
    }
    return true;
}

bool ArchiveWriter::writeAll(std::span<const std::uint8_t> bytes) {
    if (!writeAt(offset_, bytes)) return false;
    offset_ += static_cast<std::int64_t>(bytes.size());
    return true;
}

bool ArchiveWriter::readInput(int inputFd, std::int64_t inputStart, std::int64_t size,
                              std::uint16_t* crc, const Consume& consume) {
    std::vector<std::uint8_t>& chunk = work_->chunk;
    if (chunk.size() != kChunk) chunk.resize(kChunk);
    std::int64_t done = 0;
    *crc = 0;
    while (done < size) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::int64_t>(kChunk, size - done));
        const ssize_t n = dozo::fileio::readFully(inputFd, chunk.data(), want,
                                                  static_cast<off_t>(inputStart + done));
        if (n < 0) {
            const int error = errno;
            return fail(sysError("cannot read input"), Failed::input, error);
        }
        if (static_cast<std::size_t>(n) < want)
            return fail("input file shrank while being archived", Failed::input);
        const auto got = std::span<const std::uint8_t>(chunk).first(n);
        *crc = crc16(*crc, got);
        if (!consume(got)) return false;
        done += n;
        if (inputDone_ && !inputDone_(done)) return false;
    }
    return true;
}

bool ArchiveWriter::copyStored(int inputFd, std::int64_t inputStart, std::int64_t size,
                               std::uint16_t* crc) {
    return readInput(inputFd, inputStart, size, crc,
                     [this](std::span<const std::uint8_t> got) { return writeAll(got); });
}

bool ArchiveWriter::addDirectory(const EntryInfo& entry) {
    if (finished_) return fail("archive already finished");
    EntryInfo dir = entry;
    dir.directory = true;
    StoredName name;
    if (!makeStoredName(dir, &name, &error_)) return fail(error_, Failed::name);
    const auto header = buildHeader(dir, name, {"-lhd-", 0, 0, 0});
    if (header.size() > 0xFFFF)
        return fail("name too long for an LHA header: " + entry.name, Failed::name);
    return writeAll(header);
}

bool ArchiveWriter::addRaw(std::span<const std::uint8_t> bytes) {
    if (finished_) return fail("archive already finished");
    return writeAll(bytes);
}

bool ArchiveWriter::addFile(const EntryInfo& entry, int inputFd, std::int64_t size, Method method) {
    error_.clear();
    if (finished_) return fail("archive already finished");
    if (size < 0) return fail("negative file size for " + entry.name, Failed::input);
    EntryInfo file = entry;
    file.directory = false;
    StoredName name;
    if (!makeStoredName(file, &name, &error_)) return fail(error_, Failed::name);

    const std::uint64_t usize = static_cast<std::uint64_t>(size);
    const std::int64_t headerAt = offset_;
    auto header = buildHeader(file, name, {params(method).id, 0, usize, 0});
    if (header.size() > 0xFFFF)
        return fail("name too long for an LHA header: " + entry.name, Failed::name);
    if (!writeAll(header)) return false;
    const std::int64_t dataAt = offset_;

    const off_t inputStart = ::lseek(inputFd, 0, SEEK_CUR);
    if (inputStart < 0) {
        const int error = errno;
        return fail(sysError("input is not seekable"), Failed::input, error);
    }

    std::uint16_t crc = 0;
    bool stored = method == Method::lh0 || size == 0 ||
                  !worthCompressing(inputFd, inputStart, size, method, work_->whole, work_->chunk);
    if (!stored) {
        const bool fits = size < kWholeFile
                              ? compressWhole(inputFd, inputStart, size, method, &crc)
                              : compressSegments(inputFd, inputStart, size, method, &crc);
        if (!error_.empty()) return false;
        if (!fits) {
            stored = true;
            offset_ = dataAt;
        }
    }
    if (stored) {
        method = Method::lh0;
        if (!copyStored(inputFd, inputStart, size, &crc)) return false;
    }
    const std::uint64_t packed = static_cast<std::uint64_t>(offset_ - dataAt);
    header = buildHeader(file, name, {params(method).id, packed, usize, crc});
    if (!writeAt(headerAt, header)) return false;
    // Leaves the input where a sequential reader would expect it.
    ::lseek(inputFd, inputStart + size, SEEK_SET);
    lastMethod_ = method;
    return true;
}

bool ArchiveWriter::addFiles(std::span<const FileInput> files, Method method, std::size_t* failed) {
    for (std::size_t i = 0; i < files.size();) {
        std::size_t end = i;
        std::int64_t bytes = 0;
        while (end < files.size() && files[end].size >= 0 && files[end].size < kWholeFile &&
               (end == i || bytes + files[end].size <= kRunBytes))
            bytes += files[end++].size;
        if (end - i >= 2) {
            std::size_t at = 0;
            if (!addWholeFiles(files.subspan(i, end - i), method, &at)) {
                *failed = i + at;
                return false;
            }
            i = end;
            continue;
        }
        if (!addFile(files[i].entry, files[i].fd, files[i].size, method)) {
            *failed = i;
            return false;
        }
        ++i;
    }
    return true;
}

bool ArchiveWriter::addWholeFiles(std::span<const FileInput> files, Method method,
                                  std::size_t* failed) {
    error_.clear();
    *failed = 0;
    if (finished_) return fail("archive already finished");
    Workspace& w = *work_;
    if (w.packed.size() < files.size()) w.packed.resize(files.size());
    const int threads = static_cast<int>(std::min<std::size_t>(threads_, files.size()));
    if (w.threadMemory.size() < static_cast<std::size_t>(threads)) {
        w.threadMemory.resize(threads);
        w.threadCheck.resize(threads);
        w.threadInput.resize(threads);
    }
    // Each file is compressed alone: which thread takes it, and when, cannot
    // change its bytes. Files are taken in order, so the large ones of a run
    // start early rather than last.
    std::atomic<std::size_t> next{0};
    auto work = [&](int t) {
        for (std::size_t k; (k = next.fetch_add(1)) < files.size();)
            packWhole(files[k], method, level_, w.threadMemory[t], w.threadCheck[t],
                      w.threadInput[t], w.packed[k]);
    };
    {
        std::vector<std::jthread> helpers;
        for (int t = 1; t < threads; ++t) helpers.emplace_back(work, t);
        work(0);
    }
    // Entries go out together, a few of them per write; the files before a
    // failed one are written, as one by one they would be.
    constexpr std::size_t kWriteBytes = 1 << 20;
    w.out.clear();
    std::size_t unwritten = 0;  // the first file whose entry is not yet written
    auto flush = [&](std::size_t upTo) {
        if (!writeAll(w.out)) {
            *failed = unwritten;
            return false;
        }
        w.out.clear();
        unwritten = upTo;
        return true;
    };
    for (std::size_t k = 0; k < files.size(); ++k) {
        PackedFile& packed = w.packed[k];
        EntryInfo file = files[k].entry;
        file.directory = false;
        StoredName name;
        bool ok = true;
        if (!packed.error.empty()) {
            ok = fail(packed.error, packed.miscoded ? Failed::miscoded : Failed::input,
                      packed.errorNumber);
        } else if (!makeStoredName(file, &name, &error_)) {
            ok = fail(error_, Failed::name);
        } else {
            const auto header =
                buildHeader(file, name,
                            {params(packed.method).id, packed.data.size(),
                             static_cast<std::uint64_t>(files[k].size), packed.crc});
            if (header.size() > 0xFFFF) {
                ok = fail("name too long for an LHA header: " + file.name, Failed::name);
            } else {
                w.out.insert(w.out.end(), header.begin(), header.end());
                w.out.insert(w.out.end(), packed.data.begin(), packed.data.end());
                lastMethod_ = packed.method;
            }
        }
        // Its compressed data is in the entries now, or of no use.
        packed.data.clear();
        if (!ok) {
            // The reason stays this file's, unless the write fails.
            const std::string why = error_;
            const Failed what = failed_;
            const int number = systemError_;
            if (!flush(k)) return false;
            fail(why, what, number);
            *failed = k;
            return false;
        }
        if (w.out.size() >= kWriteBytes && !flush(k + 1)) return false;
    }
    return flush(files.size());
}

// Compressed output that reaches the input size is abandoned at once: the
// data is then stored, so a file never grows by more than its header.
bool ArchiveWriter::compressWhole(int inputFd, std::int64_t inputStart, std::int64_t size,
                                  Method method, std::uint16_t* crc) {
    const std::int64_t dataAt = offset_;
    bool tooBig = false;
    // Kept as written, for the check: less than two segments' worth.
    std::vector<std::uint8_t>& written = work_->written;
    written.clear();
    Encoder enc(
        method, level_,
        [&](std::span<const std::uint8_t> bytes) {
            if (offset_ - dataAt + static_cast<std::int64_t>(bytes.size()) >= size) {
                tooBig = true;
                return false;
            }
            written.insert(written.end(), bytes.begin(), bytes.end());
            return writeAll(bytes);
        },
        &work_->whole);
    // A refused write ends the read early: either the output grew too big
    // (no error: the caller stores the data instead) or the archive failed.
    if (!readInput(inputFd, inputStart, size, crc,
                   [&enc](std::span<const std::uint8_t> got) { return enc.write(got); }))
        return false;
    if (!enc.finish() || tooBig) return false;
    if (std::string why = decodeMismatch(method, {written}, {}, static_cast<std::uint64_t>(size),
                                         *crc, kWhole, work_->wholeCheck);
        !why.empty())
        return fail(why, Failed::miscoded);
    return true;
}

bool ArchiveWriter::compressSegments(int inputFd, std::int64_t inputStart, std::int64_t size,
                                     Method method, std::uint16_t* crc) {
    const std::int64_t dataAt = offset_;
    const std::int64_t dict = std::int64_t{1} << params(method).dictBits;
    const std::int64_t count = (size + kSegment - 1) / kSegment;
    BitJoiner joiner;
    std::vector<std::uint8_t>& out = work_->joined;
    *crc = 0;
    for (std::int64_t first = 0; first < count; first += threads_) {
        const std::int64_t n = std::min<std::int64_t>(threads_, count - first);
        auto& pool = work_->segments;
        if (pool.size() < static_cast<std::size_t>(n)) pool.resize(static_cast<std::size_t>(n));
        const std::span<Segment> segs = std::span(pool).first(static_cast<std::size_t>(n));
        for (std::int64_t i = 0; i < n; ++i) {
            Segment& seg = segs[static_cast<std::size_t>(i)];
            seg.offset = (first + i) * kSegment;
            seg.length = std::min(kSegment, size - seg.offset);
            seg.history = static_cast<std::size_t>(std::min(dict, seg.offset));
            seg.thrown = nullptr;
        }
        // Each worker compresses its segment and, once the last of them has
        // joined the batch's bits, decodes its segment from the joined bytes.
        // What a step throws is thrown here, once every worker is done.
        enum class Joined { no, tooBig, yes } joined = Joined::no;
        std::exception_ptr joinThrew;
        const auto join = [&] {
            out.clear();
            for (Segment& seg : segs) {
                if (!seg.error.empty() || seg.thrown) return Joined::no;
                *crc = crc16Combine(*crc, seg.crc, static_cast<std::uint64_t>(seg.length));
                seg.firstBit = out.size() * 8 + static_cast<std::uint64_t>(joiner.pendingCount());
                joiner.append(seg.packed, seg.tail, seg.tailBits, out);
            }
            if (first + n == count) joiner.finish(out);
            return offset_ - dataAt + static_cast<std::int64_t>(out.size()) >= size ? Joined::tooBig
                                                                                    : Joined::yes;
        };
        std::barrier sync(n, [&]() noexcept {
            try {
                joined = join();
            } catch (...) {
                joinThrew = std::current_exception();
            }
        });
        const auto work = [&](std::int64_t i) {
            Segment& seg = segs[static_cast<std::size_t>(i)];
            try {
                compressSegment(inputFd, inputStart, method, level_, first + i == count - 1, seg);
            } catch (...) {
                seg.thrown = std::current_exception();
            }
            sync.arrive_and_wait();
            if (joined != Joined::yes) return;
            try {
                checkSegment(method, out, joiner.pendingValue(), joiner.pendingCount(), seg);
            } catch (...) {
                seg.thrown = std::current_exception();
            }
        };
        {
            std::vector<std::jthread> threads;
            for (std::int64_t i = 1; i < n; ++i) threads.emplace_back(work, i);
            work(0);
        }
        if (joinThrew) std::rethrow_exception(joinThrew);
        for (const Segment& seg : segs)
            if (seg.thrown) std::rethrow_exception(seg.thrown);
        for (const Segment& seg : segs)
            if (!seg.error.empty())
                return fail(seg.error, seg.miscoded ? Failed::miscoded : Failed::input,
                            seg.errorNumber);
        if (joined == Joined::tooBig) return false;
        if (!writeAll(out)) return false;
        // A stop asked inside the file ends it here, before the next batch.
        if (inputDone_)
            for (const Segment& seg : segs)
                if (!inputDone_(seg.offset + seg.length)) return false;
    }
    return true;
}

bool ArchiveWriter::finish() {
    if (finished_) return true;
    const std::uint8_t end = 0;
    if (!writeAll({&end, 1})) return false;
    // Bytes past our end (a descriptor opened without O_TRUNC) are not archive.
    if (::ftruncate(fd_, offset_) != 0) {
        struct stat st;
        if (::fstat(fd_, &st) != 0 || S_ISREG(st.st_mode)) {
            const int error = errno;
            return fail(sysError("cannot truncate archive"), Failed::archive, error);
        }
    }
    if (::lseek(fd_, offset_, SEEK_SET) < 0) {
        const int error = errno;
        return fail(sysError("cannot seek archive"), Failed::archive, error);
    }
    finished_ = true;
    return true;
}

}  // namespace unlha
