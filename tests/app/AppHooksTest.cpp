// function_callback kinds, their reference counting, and the hook lists.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/AppHooks.h"
#include "tests/support/TestSupport.h"

namespace {

std::vector<std::string> g_calls;
void PlainA() { g_calls.push_back("A"); }
void PlainB() { g_calls.push_back("B"); }

struct Recorder {
  std::string name;
  void Record() { g_calls.push_back(name); }
};

// A callback that reports its own destruction.
class CountedCallback : public function_callback {
 public:
  CountedCallback(const char* name, int* destroyed) : name_(name), destroyed_(destroyed) {}
  void call() override { g_calls.push_back(name_); }
  void destroy() override {
    ++*destroyed_;
    delete this;
  }
  void inner_bind(void*) override {}

 private:
  std::string name_;
  int* destroyed_;
};

TEST(AppHooksTest, CallbackKinds) {
  g_calls.clear();
  function_callback_ptr plain = make_function_callback(&PlainA);
  plain->call();
  {
    testing_support::DebugCapture capture;
    Recorder other{"other"};
    plain->inner_bind(&other);  // cannot bind a plain function: logged, nothing changes
    ASSERT_EQ(capture.Texts().size(), 1u);
    EXPECT_EQ(capture.Texts()[0], "function_callback::inner_bind() グローバルな関数に対してbindは行えない");
  }
  plain->call();

  Recorder first{"first"}, second{"second"};
  function_callback_ptr member = make_function_callback(&first, &Recorder::Record);
  member->call();
  member->inner_bind(&second);  // a member callback changes its object
  member->call();
  EXPECT_EQ(g_calls, (std::vector<std::string>{"A", "A", "first", "second"}));
}

TEST(AppHooksTest, HandlesCountReferences) {
  int destroyed = 0;
  function_callback* raw = new CountedCallback("x", &destroyed);
  {
    function_callback_ptr a(raw);
    EXPECT_EQ(raw->use_count(), 1);
    {
      function_callback_ptr b = a;
      function_callback_ptr c;
      c = b;
      EXPECT_EQ(raw->use_count(), 3);
      function_callback_ptr d(std::move(c));
      EXPECT_EQ(raw->use_count(), 3);
      EXPECT_FALSE(c);
    }
    EXPECT_EQ(raw->use_count(), 1);
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(AppHooksTest, ListsRunInOrderAndDropTheirCallbacks) {
  g_calls.clear();
  CAppHooks hooks;
  int destroyed = 0;
  function_callback_ptr kept(new CountedCallback("kept", &destroyed));
  hooks.AddStartup(new CountedCallback("s1", &destroyed));
  hooks.AddStartup(make_function_callback(&PlainB));
  hooks.AddStartup(kept);
  hooks.AddStartup(function_callback_ptr());  // null: ignored
  hooks.AddShutdown(new CountedCallback("d1", &destroyed));
  EXPECT_EQ(hooks.GetStartupCount(), 3u);
  EXPECT_EQ(hooks.GetShutdownCount(), 1u);
  EXPECT_EQ(kept->use_count(), 2);

  hooks.RunStartup();
  EXPECT_EQ(g_calls, (std::vector<std::string>{"s1", "B", "kept"}));
  EXPECT_EQ(hooks.GetStartupCount(), 0u);
  EXPECT_EQ(destroyed, 1) << "s1 had no other handle and is gone; kept is still held here";
  EXPECT_EQ(kept->use_count(), 1);
  hooks.RunStartup();  // already run: nothing more
  EXPECT_EQ(g_calls.size(), 3u);

  hooks.RunShutdown();
  EXPECT_EQ(g_calls.back(), "d1");
  EXPECT_EQ(destroyed, 2);
  kept.reset();
  EXPECT_EQ(destroyed, 3);
}

struct SelfAdding {
  CAppHooks* hooks;
  int runs = 0;
  void Run() {
    ++runs;
    hooks->AddStartup(make_function_callback(this, &SelfAdding::Run));  // for the next run
  }
};

TEST(AppHooksTest, CallbackMayAddHooksWhileItsListRuns) {
  CAppHooks hooks;
  SelfAdding adder{&hooks};
  hooks.AddStartup(make_function_callback(&adder, &SelfAdding::Run));
  hooks.RunStartup();
  EXPECT_EQ(adder.runs, 1);
  EXPECT_EQ(hooks.GetStartupCount(), 1u);
  hooks.RunStartup();
  EXPECT_EQ(adder.runs, 2);
}

TEST(AppHooksTest, ProcessListsAreOneObject) {
  EXPECT_EQ(GetAppHooks(), GetAppHooks());
  int destroyed = 0;
  size_t before = GetAppHooks()->GetShutdownCount();
  AddShutdownHook(new CountedCallback("p", &destroyed));
  EXPECT_EQ(GetAppHooks()->GetShutdownCount(), before + 1);
  g_calls.clear();
  GetAppHooks()->RunShutdown();
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(g_calls.back(), "p");
}

}  // namespace
