#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace telvo {

// A reader that opens a FIFO waits for a writer, and with it the test. After two seconds this
// opens the FIFOs' other ends, again and again, so that such a reader is let go; Rescued() says
// whether that was needed.
class FifoRescue {
public:
    explicit FifoRescue(std::vector<std::string> fifos)
        : thread_([this, fifos = std::move(fifos)] {
              for (int i = 0; i < 400 && !done_; ++i) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
              for (int n = 0; n < 200 && !done_; ++n) {
                  for (const std::string& fifo : fifos) {
                      if (const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) {
                          ++rescued_;
                          ::close(fd);
                      }
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
          }) {}
    ~FifoRescue() { Rescued(); }
    FifoRescue(const FifoRescue&) = delete;
    FifoRescue& operator=(const FifoRescue&) = delete;

    bool Rescued() {
        done_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        return rescued_ > 0;
    }

private:
    std::atomic<bool> done_{false};
    std::atomic<int> rescued_{0};
    std::thread thread_;
};

} // namespace telvo
