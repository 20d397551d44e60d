#pragma once

// Named pipes a test expects the program to refuse at once: should it wait on one after all, a
// writer comes by after a while and lets it go, so the test fails instead of hanging.

#include <QFile>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

class PipeRescue
{
public:
    explicit PipeRescue(const QStringList &pipes, std::chrono::milliseconds after = std::chrono::seconds(5))
        : m_thread([this, pipes, after] {
            const auto start = std::chrono::steady_clock::now();
            while (!m_done && std::chrono::steady_clock::now() - start < after)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            while (!m_done) {
                for (const QString &pipe : pipes) {
                    const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
                    if (fd >= 0)
                        ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        })
    {
    }
    ~PipeRescue()
    {
        m_done = true;
        m_thread.join();
    }
    PipeRescue(const PipeRescue &) = delete;
    PipeRescue &operator=(const PipeRescue &) = delete;

private:
    std::atomic_bool m_done{false};
    std::thread m_thread;
};
