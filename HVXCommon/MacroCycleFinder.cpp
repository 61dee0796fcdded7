#include "HVXCommon/MacroCycleFinder.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

// The defined macros that a value refers to, read the way expansion reads references: from each
// "$(" to the first ")" behind it.
std::vector<std::string> References(const StringMap& macros, const std::string& value) {
  std::vector<std::string> names;
  std::size_t from = 0;
  for (;;) {
    std::size_t open = value.find("$(", from);
    if (open == std::string::npos) break;
    std::size_t close = value.find(')', open + 2);
    if (close == std::string::npos) break;
    std::string name = value.substr(open + 2, close - open - 2);
    if (macros.count(name) != 0) names.push_back(std::move(name));
    from = close + 1;
  }
  return names;
}

struct Mark {
  int index;
  int lowLink;
  bool onStack;
};

struct Frame {
  std::string name;
  std::vector<std::string> next;
  std::size_t position = 0;
};

}  // namespace

bool MacroCycleFinder::IsCyclic(const StringMap& macros, const std::string& name) {
  if (macros.size() != knownForCount_) {
    known_.clear();
    knownForCount_ = macros.size();
  }
  if (macros.count(name) == 0) return false;
  if (known_.count(name) == 0) Explore(macros, name);
  return known_[name];
}

void MacroCycleFinder::Reset() {
  known_.clear();
  knownForCount_ = 0;
}

void MacroCycleFinder::Explore(const StringMap& macros, const std::string& start) {
  std::unordered_map<std::string, Mark> marks;
  std::vector<std::string> stack;
  std::vector<Frame> frames;
  int counter = 0;
  auto enter = [&](const std::string& name) {
    marks[name] = {counter, counter, true};
    ++counter;
    stack.push_back(name);
    frames.push_back({name, References(macros, macros.at(name))});
  };
  enter(start);
  while (!frames.empty()) {
    Frame& frame = frames.back();
    if (frame.position < frame.next.size()) {
      const std::string next = frame.next[frame.position++];
      if (known_.count(next) != 0) continue;  // a finished component cannot lead back here
      auto mark = marks.find(next);
      if (mark == marks.end()) {
        enter(next);
      } else if (mark->second.onStack) {
        Mark& own = marks[frame.name];
        own.lowLink = std::min(own.lowLink, mark->second.index);
      }
      continue;
    }
    const std::string name = frame.name;
    const bool refersToItself =
        std::find(frame.next.begin(), frame.next.end(), name) != frame.next.end();
    frames.pop_back();
    const Mark mark = marks[name];
    if (!frames.empty()) {
      Mark& parent = marks[frames.back().name];
      parent.lowLink = std::min(parent.lowLink, mark.lowLink);
    }
    if (mark.lowLink != mark.index) continue;
    // name roots a component: everything above it on the stack belongs to it.
    auto first = std::prev(std::find(stack.rbegin(), stack.rend(), name).base());
    const bool cyclic = (stack.end() - first) > 1 || refersToItself;
    for (auto it = first; it != stack.end(); ++it) {
      known_[*it] = cyclic;
      marks[*it].onStack = false;
    }
    stack.erase(first, stack.end());
  }
}
