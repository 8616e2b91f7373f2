#include "engine/io/xlsx/zip_writer.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "engine/io/xlsx/deflate.h"

namespace plyfold::engine::xlsx {
namespace {

constexpr size_t kDictionarySize = size_t{32} * 1024;  // the deflate window
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kDataDescriptorSignature = 0x08074b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kMethodDeflate = 8;
constexpr uint16_t kVersionDefault = 20;
constexpr uint16_t kVersionZip64 = 45;
// Entries carry 1980-01-01 00:00, the earliest DOS date, as spreadsheet programs write:
// the time of writing would only make identical content give different files.
constexpr uint16_t kDosTime = 0;
constexpr uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;

}  // namespace

struct ZipWriter::Job {
    std::string input;
    std::string dictionary;
    std::string output;
    std::string error;
    uint32_t crc = 0;
    bool last = false;
    bool done = false;

    void run(Deflater& deflater) {
        try {
            deflater.compress(dictionary, input, last, output);
            crc = crc32(0, input.data(), input.size());
        } catch (const std::exception& e) {
            error = e.what();
        }
    }
};

// Deflate workers and the jobs in flight, oldest first. Only the writer's thread adds and
// collects jobs; workers take them in order and mark them done.
struct ZipWriter::Pool {
    std::mutex mutex;
    std::condition_variable workAvailable;
    std::condition_variable jobDone;
    std::deque<std::unique_ptr<Job>> inFlight;
    std::deque<Job*> waiting;
    std::vector<std::unique_ptr<Job>> freeJobs;
    std::vector<std::thread> threads;
    std::unique_ptr<Deflater> inlineDeflater;  // when there are no workers
    size_t maxInFlight = 1;
    bool stopping = false;

    void workerLoop(int level) {
        std::unique_ptr<Deflater> deflater;
        std::string startError;
        try {
            deflater = std::make_unique<Deflater>(level);
        } catch (const std::exception& e) {
            startError = e.what();
        }
        std::unique_lock lock(mutex);
        for (;;) {
            workAvailable.wait(lock, [this] { return stopping || !waiting.empty(); });
            if (stopping) {
                return;
            }
            Job* job = waiting.front();
            waiting.pop_front();
            lock.unlock();
            if (deflater) {
                job->run(*deflater);
            } else {
                job->error = startError;
            }
            lock.lock();
            job->done = true;
            jobDone.notify_all();
        }
    }

    void stop() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        workAvailable.notify_all();
        for (std::thread& t : threads) {
            t.join();
        }
        threads.clear();
    }
};

ZipWriter::ZipWriter(ByteSink& sink, const ZipWriterOptions& options)
    : m_sink(sink), m_options(options), m_pool(std::make_unique<Pool>()) {
    if (m_options.chunkSize < 1024) {
        m_options.chunkSize = 1024;
    }
    int threads = m_options.threads;
    if (threads < 0) {
        threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    }
    if (threads == 0) {
        m_pool->inlineDeflater = std::make_unique<Deflater>(m_options.level);
        return;
    }
    // Enough jobs in flight to keep every worker busy while finished ones wait their turn,
    // few enough that memory stays at a few chunks a worker.
    m_pool->maxInFlight = static_cast<size_t>(threads) * 2 + 1;
    for (int i = 0; i < threads; ++i) {
        m_pool->threads.emplace_back(
            [pool = m_pool.get(), level = m_options.level] { pool->workerLoop(level); });
    }
}

ZipWriter::~ZipWriter() {
    m_pool->stop();
}

void ZipWriter::put16(std::string& out, uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void ZipWriter::put32(std::string& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void ZipWriter::put64(std::string& out, uint64_t value) {
    put32(out, static_cast<uint32_t>(value));
    put32(out, static_cast<uint32_t>(value >> 32));
}

void ZipWriter::emit(const void* data, size_t size) {
    m_sink.write(static_cast<const char*>(data), size);
    m_offset += size;
}

void ZipWriter::beginEntry(std::string_view name) {
    if (m_inEntry || m_finished) {
        throw std::logic_error("zip entry begun while another is open or after the end");
    }
    if (name.empty() || name.size() > 0xFFFF) {
        throw std::invalid_argument("bad zip entry name");
    }
    EntryRecord entry;
    entry.name = std::string(name);
    entry.headerOffset = m_offset;
    std::string header;
    put32(header, kLocalHeaderSignature);
    put16(header, kVersionDefault);
    put16(header, kFlagDataDescriptor);
    put16(header, kMethodDeflate);
    put16(header, kDosTime);
    put16(header, kDosDate);
    put32(header, 0);  // CRC and sizes follow the data, in the descriptor
    put32(header, 0);
    put32(header, 0);
    put16(header, static_cast<uint32_t>(name.size()));
    put16(header, 0);
    header.append(name);
    emit(header.data(), header.size());
    m_entries.push_back(std::move(entry));
    m_pending.clear();
    m_dictionary.clear();
    m_inEntry = true;
}

void ZipWriter::write(std::string_view bytes) {
    if (!m_inEntry) {
        throw std::logic_error("zip data written outside an entry");
    }
    while (!bytes.empty()) {
        size_t room = m_options.chunkSize - std::min(m_pending.size(), m_options.chunkSize);
        size_t take = std::min(room, bytes.size());
        m_pending.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (m_pending.size() >= m_options.chunkSize) {
            submit(m_pending, false);
        }
    }
}

void ZipWriter::writeChunk(std::string& buffer) {
    if (!m_inEntry) {
        throw std::logic_error("zip data written outside an entry");
    }
    if (m_pending.empty() && buffer.size() >= m_options.chunkSize) {
        submit(buffer, false);
        return;
    }
    write(buffer);
    buffer.clear();
}

void ZipWriter::submit(std::string& input, bool last) {
    Pool& pool = *m_pool;
    std::unique_ptr<Job> job;
    if (!pool.freeJobs.empty()) {
        job = std::move(pool.freeJobs.back());
        pool.freeJobs.pop_back();
    } else {
        job = std::make_unique<Job>();
    }
    job->input.swap(input);
    input.clear();
    job->dictionary = m_dictionary;
    job->last = last;
    job->done = false;
    job->error.clear();
    const std::string& data = job->input;
    if (data.size() >= kDictionarySize) {
        m_dictionary.assign(data, data.size() - kDictionarySize, kDictionarySize);
    } else {
        m_dictionary.append(data);
        if (m_dictionary.size() > kDictionarySize) {
            m_dictionary.erase(0, m_dictionary.size() - kDictionarySize);
        }
    }

    if (pool.inlineDeflater) {
        job->run(*pool.inlineDeflater);
        collect(*job);
        pool.freeJobs.push_back(std::move(job));
        return;
    }
    {
        std::lock_guard lock(pool.mutex);
        pool.waiting.push_back(job.get());
        pool.inFlight.push_back(std::move(job));
    }
    pool.workAvailable.notify_one();
    drain(false);
}

void ZipWriter::drain(bool waitForAll) {
    Pool& pool = *m_pool;
    for (;;) {
        std::unique_ptr<Job> job;
        {
            std::unique_lock lock(pool.mutex);
            if (pool.inFlight.empty()) {
                return;
            }
            bool mustWait = waitForAll || pool.inFlight.size() >= pool.maxInFlight;
            if (!pool.inFlight.front()->done) {
                if (!mustWait) {
                    return;
                }
                pool.jobDone.wait(lock, [&pool] { return pool.inFlight.front()->done; });
            }
            job = std::move(pool.inFlight.front());
            pool.inFlight.pop_front();
        }
        // A failing sink throws here; the job is dropped and the workers are stopped by the
        // destructor.
        collect(*job);
        pool.freeJobs.push_back(std::move(job));
    }
}

void ZipWriter::collect(Job& job) {
    if (!job.error.empty()) {
        throw std::runtime_error(job.error);
    }
    EntryRecord& entry = m_entries.back();
    emit(job.output.data(), job.output.size());
    entry.crc = crc32Combine(entry.crc, job.crc, job.input.size());
    entry.size += job.input.size();
    entry.compressedSize += job.output.size();
    // Keep the input's capacity for a later chunk; the caller's buffer swaps with it.
    job.input.clear();
}

void ZipWriter::endEntry() {
    if (!m_inEntry) {
        throw std::logic_error("zip entry ended without being begun");
    }
    submit(m_pending, true);
    drain(true);
    m_inEntry = false;
    const EntryRecord& entry = m_entries.back();
    std::string descriptor;
    put32(descriptor, kDataDescriptorSignature);
    put32(descriptor, entry.crc);
    if (entry.size >= m_options.zip64Size || entry.compressedSize >= m_options.zip64Size) {
        put64(descriptor, entry.compressedSize);
        put64(descriptor, entry.size);
    } else {
        put32(descriptor, static_cast<uint32_t>(entry.compressedSize));
        put32(descriptor, static_cast<uint32_t>(entry.size));
    }
    emit(descriptor.data(), descriptor.size());
}

void ZipWriter::finish() {
    if (m_inEntry || m_finished) {
        throw std::logic_error("zip archive finished with an entry open or twice");
    }
    m_finished = true;
    const uint64_t directoryOffset = m_offset;
    const uint64_t limit = m_options.zip64Size;
    std::string out;
    for (const EntryRecord& entry : m_entries) {
        const bool bigSize = entry.size >= limit;
        const bool bigCompressed = entry.compressedSize >= limit;
        const bool bigOffset = entry.headerOffset >= limit;
        std::string extra;
        if (bigSize || bigCompressed || bigOffset) {
            std::string fields;
            if (bigSize) {
                put64(fields, entry.size);
            }
            if (bigCompressed) {
                put64(fields, entry.compressedSize);
            }
            if (bigOffset) {
                put64(fields, entry.headerOffset);
            }
            put16(extra, 0x0001);
            put16(extra, static_cast<uint32_t>(fields.size()));
            extra += fields;
        }
        const uint16_t version = extra.empty() ? kVersionDefault : kVersionZip64;
        put32(out, kCentralHeaderSignature);
        put16(out, version);  // made by: MS-DOS attributes
        put16(out, version);
        put16(out, kFlagDataDescriptor);
        put16(out, kMethodDeflate);
        put16(out, kDosTime);
        put16(out, kDosDate);
        put32(out, entry.crc);
        put32(out, bigCompressed ? 0xFFFFFFFFu : static_cast<uint32_t>(entry.compressedSize));
        put32(out, bigSize ? 0xFFFFFFFFu : static_cast<uint32_t>(entry.size));
        put16(out, static_cast<uint32_t>(entry.name.size()));
        put16(out, static_cast<uint32_t>(extra.size()));
        put16(out, 0);  // comment
        put16(out, 0);  // disk
        put16(out, 0);  // internal attributes
        put32(out, 0);  // external attributes
        put32(out, bigOffset ? 0xFFFFFFFFu : static_cast<uint32_t>(entry.headerOffset));
        out += entry.name;
        out += extra;
        if (out.size() >= (1u << 20)) {
            emit(out.data(), out.size());
            out.clear();
        }
    }
    emit(out.data(), out.size());
    out.clear();
    const uint64_t directorySize = m_offset - directoryOffset;
    const uint64_t count = m_entries.size();
    const bool zip64 =
        count >= m_options.zip64EntryCount || directorySize >= limit || directoryOffset >= limit;
    if (zip64) {
        const uint64_t recordOffset = m_offset;
        put32(out, kZip64EndSignature);
        put64(out, 44);  // size of the rest of the record
        put16(out, kVersionZip64);
        put16(out, kVersionZip64);
        put32(out, 0);
        put32(out, 0);
        put64(out, count);
        put64(out, count);
        put64(out, directorySize);
        put64(out, directoryOffset);
        put32(out, kZip64LocatorSignature);
        put32(out, 0);
        put64(out, recordOffset);
        put32(out, 1);
    }
    put32(out, kEndSignature);
    put16(out, 0);
    put16(out, 0);
    // Fields too small for their value hold all ones and the ZIP64 record has the value.
    const auto shortCount = static_cast<uint32_t>(std::min<uint64_t>(count, 0xFFFF));
    put16(out, shortCount);
    put16(out, shortCount);
    put32(out, static_cast<uint32_t>(std::min<uint64_t>(directorySize, 0xFFFFFFFFu)));
    put32(out, static_cast<uint32_t>(std::min<uint64_t>(directoryOffset, 0xFFFFFFFFu)));
    put16(out, 0);
    emit(out.data(), out.size());
}

}  // namespace plyfold::engine::xlsx
