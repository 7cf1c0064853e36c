#pragma once
// function_callback: a heap callback object with call, destroy and inner_bind. Two kinds exist: one over a
// plain function, which cannot be bound to an object (inner_bind only logs), and one over a member
// function of an object, whose inner_bind changes the object. Callbacks are reference counted through
// function_callback_ptr handles; when the last handle goes, the callback is destroyed.

#include <atomic>
#include <utility>

#include "foundation/DebugPrint.h"

class function_callback {
 public:
  virtual void call() = 0;
  virtual void destroy() = 0;  // deletes the object
  virtual void inner_bind(void* object) = 0;

  function_callback(const function_callback&) = delete;
  function_callback& operator=(const function_callback&) = delete;

  void add_ref() { count_.fetch_add(1, std::memory_order_relaxed); }
  void release() {
    if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1) destroy();
  }
  long use_count() const { return count_.load(); }

 protected:
  function_callback() = default;
  virtual ~function_callback() = default;

 private:
  std::atomic<long> count_{0};
};

// A handle that holds one reference.
class function_callback_ptr {
 public:
  function_callback_ptr() = default;
  function_callback_ptr(function_callback* callback) : callback_(callback) {  // takes a reference
    if (callback_) callback_->add_ref();
  }
  function_callback_ptr(const function_callback_ptr& other) : function_callback_ptr(other.callback_) {}
  function_callback_ptr(function_callback_ptr&& other) noexcept : callback_(std::exchange(other.callback_, nullptr)) {}
  function_callback_ptr& operator=(function_callback_ptr other) noexcept {
    std::swap(callback_, other.callback_);
    return *this;
  }
  ~function_callback_ptr() { reset(); }

  void reset() {
    if (function_callback* callback = std::exchange(callback_, nullptr)) callback->release();
  }
  function_callback* get() const { return callback_; }
  function_callback* operator->() const { return callback_; }
  explicit operator bool() const { return callback_ != nullptr; }

 private:
  function_callback* callback_ = nullptr;
};

// A plain function.
class function_callback_function : public function_callback {
 public:
  explicit function_callback_function(void (*function)()) : function_(function) {}
  void call() override {
    if (function_) function_();
  }
  void destroy() override { delete this; }
  void inner_bind(void*) override {
    DebugPrint("function_callback::inner_bind() グローバルな関数に対してbindは行えない");
  }

 private:
  void (*function_)();
};

// A member function called on an object (not owned).
template <typename T>
class function_callback_member : public function_callback {
 public:
  function_callback_member(T* object, void (T::*member)()) : object_(object), member_(member) {}
  void call() override {
    if (object_ && member_) (object_->*member_)();
  }
  void destroy() override { delete this; }
  void inner_bind(void* object) override { object_ = static_cast<T*>(object); }
  T* object() const { return object_; }

 private:
  T* object_;
  void (T::*member_)();
};

inline function_callback_ptr make_function_callback(void (*function)()) {
  return function_callback_ptr(new function_callback_function(function));
}

template <typename T>
function_callback_ptr make_function_callback(T* object, void (T::*member)()) {
  return function_callback_ptr(new function_callback_member<T>(object, member));
}
