// Move-only, 64-byte aligned array owned by a core record. Allocation failure
// throws std::bad_alloc, which the entry-point guard turns into a null record.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace kv {

template <class T>
class AlignedBuf {
 public:
  static constexpr std::size_t kAlign = 64;

  AlignedBuf() = default;
  explicit AlignedBuf(std::size_t n, bool zero = true) : n_(n) {
    if (n == 0) return;
    if (n > (SIZE_MAX - kAlign) / sizeof(T)) throw std::bad_alloc();
    std::size_t bytes = (n * sizeof(T) + kAlign - 1) / kAlign * kAlign;
    p_ = static_cast<T*>(std::aligned_alloc(kAlign, bytes));
    if (!p_) throw std::bad_alloc();
    if (zero) std::memset(static_cast<void*>(p_), 0, bytes);
  }
  AlignedBuf(AlignedBuf&& o) noexcept : p_(std::exchange(o.p_, nullptr)), n_(std::exchange(o.n_, 0)) {}
  AlignedBuf& operator=(AlignedBuf&& o) noexcept {
    if (this != &o) {
      std::free(p_);
      p_ = std::exchange(o.p_, nullptr);
      n_ = std::exchange(o.n_, 0);
    }
    return *this;
  }
  AlignedBuf(const AlignedBuf&) = delete;
  AlignedBuf& operator=(const AlignedBuf&) = delete;
  ~AlignedBuf() { std::free(p_); }

  T* data() noexcept { return p_; }
  const T* data() const noexcept { return p_; }
  std::size_t size() const noexcept { return n_; }
  T& operator[](std::size_t i) noexcept { return p_[i]; }
  const T& operator[](std::size_t i) const noexcept { return p_[i]; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
  std::size_t n_ = 0;
};

}  // namespace kv
