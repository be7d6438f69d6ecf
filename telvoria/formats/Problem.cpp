#include "telvoria/TelvoriaFiles.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace telvo::files {

namespace {
thread_local Problem lastProblem;
thread_local BvhSource lastSource;
} // namespace

const Problem& LastProblem() {
    return lastProblem;
}

const BvhSource& LastBvhSource() {
    return lastSource;
}

void SetProblem(int line, std::string reason) {
    lastProblem = Problem{line, std::move(reason)};
}

void ClearProblem() {
    lastProblem = Problem{};
}

void SetBvhSource(BvhSource source) {
    lastSource = std::move(source);
}

} // namespace telvo::files

int GyroGetLastProblem(char* reason, int size, int* line) {
    const telvo::files::Problem& problem = telvo::files::LastProblem();
    if (line != nullptr) {
        *line = problem.line;
    }
    if (reason == nullptr || size <= 0) {
        return problem.reason.empty() ? 0 : 1;
    }
    const std::size_t n = std::min(problem.reason.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(reason, problem.reason.data(), n);
    reason[n] = '\0';
    return problem.reason.empty() ? 0 : 1;
}
