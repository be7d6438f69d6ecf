#include "telvoria/TelvoriaFiles.h"

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
