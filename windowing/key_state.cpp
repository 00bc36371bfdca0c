#include "windowing/key_state.h"

#include <utility>

#include "windowing/backend.h"

namespace flashwright::ui {

namespace {
std::function<bool()>& ControlKeySource() {
  static std::function<bool()> source;
  return source;
}
}  // namespace

bool IsControlKeyDown() {
  if (ControlKeySource()) return ControlKeySource()();
  return SystemControlKeyDown();
}

void SetControlKeySourceForTesting(std::function<bool()> source) {
  ControlKeySource() = std::move(source);
}

}  // namespace flashwright::ui
