// Pushing onto the installer's string stack.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "readerprobe/detect_reader.h"

namespace flashwright::probe {
namespace {

std::vector<std::string> PopAll(stack_t** top) {
  std::vector<std::string> texts;
  while (*top != nullptr) {
    stack_t* entry = *top;
    *top = entry->next;
    texts.emplace_back(entry->text);
    std::free(entry);
  }
  return texts;
}

TEST(StringStackTest, PushesInFrontOfTheCurrentTopAndTruncates) {
  stack_t* top = nullptr;
  BeginCall(6, &top);
  PushString("abc");
  PushInt(-123456);
  PushString("");
  EndCall();
  // Pushed after the call: nothing happens.
  PushString("late");
  EXPECT_EQ(PopAll(&top), (std::vector<std::string>{"", "-1234", "abc"}));
}

TEST(StringStackTest, AStringSizeThatHoldsNothingPushesNothing) {
  stack_t* top = nullptr;
  for (int size : {0, -1, -100}) {
    BeginCall(size, &top);
    PushString("text");
    EndCall();
  }
  EXPECT_EQ(top, nullptr);
  BeginCall(1, &top);  // room for the terminating zero only
  PushString("text");
  EndCall();
  EXPECT_EQ(PopAll(&top), std::vector<std::string>{""});
  BeginCall(1024, nullptr);
  PushString("text");  // no stack: nothing to push onto
  EndCall();
}

}  // namespace
}  // namespace flashwright::probe
