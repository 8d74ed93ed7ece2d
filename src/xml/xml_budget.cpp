// The counting allocator of the XML libraries and the memory budget of one piece of work.
// A rule file comes from anyone: a rule that doubles a string at every level must end in
// a clear error at a bound, not in gigabytes of memory taken from the machine.
#include <libxml/xmlmemory.h>
#include <malloc.h>

#include <cstdlib>
#include <cstring>

#include "xml/xml_internal.h"

namespace tavex::xml::internal {

namespace {

// The budget that counts this thread's allocations, if any.
thread_local MemoryBudget* thread_budget = nullptr;

std::int64_t BlockSize(void* block) { return static_cast<std::int64_t>(malloc_usable_size(block)); }

void* CountedMalloc(std::size_t size) {
  MemoryBudget* budget = thread_budget;
  if (budget != nullptr && !budget->Allows(size)) return nullptr;
  void* block = std::malloc(size);
  if (budget != nullptr && block != nullptr) budget->Add(BlockSize(block));
  return block;
}

void* CountedRealloc(void* block, std::size_t size) {
  MemoryBudget* budget = thread_budget;
  if (budget == nullptr) return std::realloc(block, size);
  const std::int64_t old_size = block != nullptr ? BlockSize(block) : 0;
  if (static_cast<std::int64_t>(size) > old_size &&
      !budget->Allows(size - static_cast<std::size_t>(old_size))) {
    return nullptr;
  }
  void* moved = std::realloc(block, size);
  if (moved != nullptr) budget->Add(BlockSize(moved) - old_size);
  return moved;
}

void CountedFree(void* block) {
  if (block == nullptr) return;
  if (MemoryBudget* budget = thread_budget) budget->Add(-BlockSize(block));
  std::free(block);
}

char* CountedStrdup(const char* text) {
  const std::size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(CountedMalloc(size));
  if (copy != nullptr) std::memcpy(copy, text, size);
  return copy;
}

}  // namespace

void InstallCountingAllocator() { xmlMemSetup(CountedFree, CountedMalloc, CountedRealloc, CountedStrdup); }

MemoryBudget::MemoryBudget(std::size_t limit, std::function<void()> on_exceeded, std::size_t notice,
                           std::function<void()> on_notice)
    : limit_(static_cast<std::int64_t>(limit)),
      notice_(static_cast<std::int64_t>(notice)),
      on_exceeded_(std::move(on_exceeded)),
      on_notice_(std::move(on_notice)),
      previous_(thread_budget) {
  thread_budget = this;
}

MemoryBudget::~MemoryBudget() { thread_budget = previous_; }

bool MemoryBudget::Allows(std::size_t bytes) const {
  return used_ + static_cast<std::int64_t>(bytes) <= 2 * limit_;
}

void MemoryBudget::Add(std::int64_t bytes) noexcept {
  used_ += bytes;
  if (!noticed_ && notice_ > 0 && used_ > notice_) {
    noticed_ = true;
    RunHandler(on_notice_);
  }
  if (!exceeded_ && used_ > limit_) {
    exceeded_ = true;
    RunHandler(on_exceeded_);
  }
}

void MemoryBudget::RunHandler(const std::function<void()>& handler) noexcept {
  if (!handler) return;
  thread_budget = nullptr;
  try {
    handler();
  } catch (...) {
    // Never let an exception into the libraries; exceeded() still tells the caller.
  }
  thread_budget = this;
}

}  // namespace tavex::xml::internal
