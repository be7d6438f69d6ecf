#include "telvoria/skeleton/Recording.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace telvo::recording {

namespace {

// 8 GiB of address space: about 7.5 million frames, 17 hours at 120 frames per second.
// Only what is used is ever committed; a longer recording moves its pages once per doubling.
constexpr std::size_t InitialReserve = std::size_t{8} << 30;
constexpr std::size_t MinCommit = std::size_t{256} << 10;

struct Block {
    std::size_t reserved = 0;  // bytes of address space
    std::size_t committed = 0; // bytes readable and writable from the start
};

std::mutex mutex;
std::unordered_map<const Frame*, Block> blocks;
std::atomic<uint32_t> limit{0};

std::size_t PageSize() {
    static const std::size_t size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

std::size_t RoundUp(std::size_t n, std::size_t a) {
    return (n + a - 1) / a * a;
}

void* Reserve(std::size_t bytes) {
    void* p = ::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

// Grows the committed part to hold bytes; moves the block only when its reservation is full.
bool Commit(Frame*& frames, Block& block, std::size_t bytes) {
    if (bytes <= block.committed) {
        return true;
    }
    if (bytes > block.reserved) {
        // mremap moves one mapping: make the whole reservation one readable stretch first.
        char* base = reinterpret_cast<char*>(frames);
        if (block.committed < block.reserved &&
            ::mprotect(base + block.committed, block.reserved - block.committed,
                       PROT_READ | PROT_WRITE) != 0) {
            return false;
        }
        block.committed = block.reserved;
        std::size_t reserve = std::max(block.reserved * 2, RoundUp(bytes, PageSize()));
        void* moved = ::mremap(frames, block.reserved, reserve, MREMAP_MAYMOVE);
        if (moved == MAP_FAILED) {
            return false;
        }
        frames = static_cast<Frame*>(moved);
        block.reserved = reserve;
        block.committed = reserve;
        return true;
    }
    std::size_t want = std::max({bytes, block.committed + block.committed / 2, MinCommit});
    want = std::min(RoundUp(want, PageSize()), block.reserved);
    char* base = reinterpret_cast<char*>(frames);
    if (::mprotect(base + block.committed, want - block.committed, PROT_READ | PROT_WRITE) != 0) {
        want = RoundUp(bytes, PageSize());
        if (::mprotect(base + block.committed, want - block.committed, PROT_READ | PROT_WRITE) !=
            0) {
            return false;
        }
    }
    block.committed = want;
    return true;
}

} // namespace

bool Resize(Skeleton& skeleton, uint32_t count) {
    uint32_t max = limit.load(std::memory_order_relaxed);
    if (max != 0 && count > max) {
        return false;
    }
    if (count == 0) {
        Release(skeleton);
        return true;
    }
    std::lock_guard lock(mutex);
    Frame* frames = skeleton.Frames;
    auto it = frames != nullptr ? blocks.find(frames) : blocks.end();
    if (frames != nullptr && it == blocks.end()) {
        return false; // not ours: never write through a pointer we did not hand out
    }
    if (frames == nullptr) {
        std::size_t reserve = std::max(InitialReserve, RoundUp(count * sizeof(Frame), PageSize()));
        void* p = Reserve(reserve);
        if (p == nullptr) {
            return false;
        }
        frames = static_cast<Frame*>(p);
        it = blocks.emplace(frames, Block{reserve, 0}).first;
        skeleton.FrameCount = 0;
    }
    Block block = it->second;
    Frame* moved = frames;
    if (!Commit(moved, block, std::size_t{count} * sizeof(Frame))) {
        if (skeleton.Frames == nullptr) {
            ::munmap(frames, block.reserved);
            blocks.erase(it);
        }
        return false;
    }
    if (count < skeleton.FrameCount) {
        // Shrinking keeps the pages; zero the tail so a later append starts clean.
        std::memset(static_cast<void*>(moved + count), 0,
                    (skeleton.FrameCount - count) * sizeof(Frame));
    }
    if (moved != frames) {
        blocks.erase(it);
        it = blocks.emplace(moved, block).first;
    }
    it->second = block;
    skeleton.Frames = moved;
    skeleton.FrameCount = count;
    return true;
}

void Release(Skeleton& skeleton) {
    if (skeleton.Frames != nullptr) {
        std::lock_guard lock(mutex);
        auto it = blocks.find(skeleton.Frames);
        if (it != blocks.end()) {
            ::munmap(skeleton.Frames, it->second.reserved);
            blocks.erase(it);
        }
    }
    skeleton.Frames = nullptr;
    skeleton.FrameCount = 0;
}

bool Owned(const Skeleton& skeleton) {
    if (skeleton.Frames == nullptr) {
        return false;
    }
    std::lock_guard lock(mutex);
    return blocks.count(skeleton.Frames) != 0;
}

void SetLimit(uint32_t frames) {
    limit.store(frames, std::memory_order_relaxed);
}
uint32_t Limit() {
    return limit.load(std::memory_order_relaxed);
}

} // namespace telvo::recording

int GyroAddFrame(Skeleton* skeleton) {
    if (skeleton == nullptr || skeleton->FrameCount == UINT32_MAX) {
        return 0;
    }
    uint32_t count = skeleton->Frames == nullptr ? 0 : skeleton->FrameCount;
    return telvo::recording::Resize(*skeleton, count + 1) ? 1 : 0;
}

void GyroFreeSkeletonFrames(Skeleton* skeleton) {
    if (skeleton != nullptr) {
        telvo::recording::Release(*skeleton);
    }
}
