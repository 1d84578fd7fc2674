#pragma once

#include <QByteArray>

#include <cstddef>

namespace tolvi {

// Where a streaming encoder puts its bytes. write() either takes every byte or throws.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void write(const char* data, std::size_t size) = 0;
};

// Writes straight to a file descriptor, retrying interrupted and partial writes; a failure
// throws PersistenceError::system with the errno of the write.
class FileDescriptorSink final : public OutputSink {
public:
    explicit FileDescriptorSink(int fd) : fd_(fd) {}
    void write(const char* data, std::size_t size) override;

private:
    int fd_;
};

// Collects the bytes in memory.
class ByteArraySink final : public OutputSink {
public:
    void write(const char* data, std::size_t size) override { bytes_.append(data, static_cast<qsizetype>(size)); }
    const QByteArray& bytes() const { return bytes_; }
    QByteArray takeBytes() { return std::move(bytes_); }

private:
    QByteArray bytes_;
};

// Writes all of data to fd; retries EINTR and partial writes. Returns false with errno set.
bool writeAll(int fd, const char* data, std::size_t size);

} // namespace tolvi
