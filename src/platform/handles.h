#pragma once

// Owners of the C library's handles: each closes its handle when it goes, and can be moved
// but not copied.

#include <dirent.h>
#include <unistd.h>
#include <utility>

namespace corvane::platform {

class FileDescriptor
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) noexcept
        : m_fd(fd)
    {}
    FileDescriptor(FileDescriptor&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    int get() const noexcept { return m_fd; }
    bool isOpen() const noexcept { return m_fd >= 0; }

    void reset() noexcept
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    /// Closes and reports what close() said: a delayed write error shows up here.
    bool close() noexcept
    {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd = -1;
};

class DirectoryHandle
{
public:
    explicit DirectoryHandle(DIR* dir) noexcept
        : m_dir(dir)
    {}
    DirectoryHandle(DirectoryHandle&& other) noexcept
        : m_dir(std::exchange(other.m_dir, nullptr))
    {}
    DirectoryHandle& operator=(DirectoryHandle&& other) noexcept
    {
        if (this != &other) {
            if (m_dir)
                ::closedir(m_dir);
            m_dir = std::exchange(other.m_dir, nullptr);
        }
        return *this;
    }
    DirectoryHandle(const DirectoryHandle&) = delete;
    DirectoryHandle& operator=(const DirectoryHandle&) = delete;
    ~DirectoryHandle()
    {
        if (m_dir)
            ::closedir(m_dir);
    }

    DIR* get() const noexcept { return m_dir; }

private:
    DIR* m_dir = nullptr;
};

} // namespace corvane::platform
