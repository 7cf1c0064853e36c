#pragma once
// The start-up and shut-down hook lists of the application object: one process-wide object made on
// first use, holding two lists of callback handles. The application object runs and clears the start-up
// list while it is constructed and the shut-down list while it is destroyed; running a list calls every
// callback in the order added and then drops the handles (a callback whose last handle goes is
// destroyed). Callbacks added while a list runs stay for its next run.

#include <cstddef>
#include <vector>

#include "app/FunctionCallback.h"
#include "foundation/CriticalSection.h"

class CAppHooks {
 public:
  CAppHooks() = default;
  virtual ~CAppHooks() = default;
  CAppHooks(const CAppHooks&) = delete;
  CAppHooks& operator=(const CAppHooks&) = delete;

  void AddStartup(const function_callback_ptr& callback);
  void AddShutdown(const function_callback_ptr& callback);
  void RunStartup();
  void RunShutdown();
  size_t GetStartupCount();
  size_t GetShutdownCount();

 private:
  void Add(std::vector<function_callback_ptr>* list, const function_callback_ptr& callback);
  void Run(std::vector<function_callback_ptr>* list);

  CCriticalSection lock_;
  std::vector<function_callback_ptr> startup_;
  std::vector<function_callback_ptr> shutdown_;
};

// The process's hook lists.
CAppHooks* GetAppHooks();

// Adding to the process's lists. A null callback is ignored.
void AddStartupHook(const function_callback_ptr& callback);
void AddShutdownHook(const function_callback_ptr& callback);
