#include "platform/command_target.h"

namespace quarnel {

CommandMap& CommandMap::On(int id, Handler handler, Updater update) {
  handlers_[id] = std::move(handler);
  if (update) {
    updaters_[id] = std::move(update);
  }
  return *this;
}

CommandMap& CommandMap::Update(int id, Updater update) {
  updaters_[id] = std::move(update);
  return *this;
}

CommandMap& CommandMap::OnRange(int first, int last, std::function<void(int)> handler,
                                std::function<void(int, CommandState&)> update) {
  ranges_.push_back({first, last, std::move(handler), std::move(update)});
  return *this;
}

const CommandMap::Range* CommandMap::FindRange(int id) const {
  for (const Range& range : ranges_) {
    if (id >= range.first && id <= range.last) {
      return &range;
    }
  }
  return nullptr;
}

bool CommandMap::OnCommand(int id) {
  if (const auto it = handlers_.find(id); it != handlers_.end()) {
    if (it->second) {
      it->second();
    }
    return true;
  }
  if (const Range* range = FindRange(id); range != nullptr && range->handler) {
    range->handler(id);
    return true;
  }
  return false;
}

bool CommandMap::HandlesCommand(int id) const {
  if (handlers_.count(id) != 0) {
    return true;
  }
  const Range* range = FindRange(id);
  return range != nullptr && range->handler;
}

bool CommandMap::OnUpdate(int id, CommandState& state) {
  if (const auto it = updaters_.find(id); it != updaters_.end()) {
    it->second(state);
    return true;
  }
  if (const Range* range = FindRange(id); range != nullptr && range->update) {
    range->update(id, state);
    return true;
  }
  return false;
}

std::vector<CommandTarget*> CommandRouter::Targets() const {
  std::vector<CommandTarget*> targets;
  targets.reserve(links_.size());
  for (const Link& link : links_) {
    if (CommandTarget* target = link()) {
      targets.push_back(target);
    }
  }
  return targets;
}

bool CommandRouter::Execute(int id) const {
  for (CommandTarget* target : Targets()) {
    if (target->OnCommand(id)) {
      return true;
    }
  }
  return false;
}

CommandState CommandRouter::Query(int id) const {
  const std::vector<CommandTarget*> targets = Targets();
  for (CommandTarget* target : targets) {
    CommandState state;
    if (target->OnUpdate(id, state)) {
      return state;
    }
  }
  CommandState state;
  state.enabled = false;
  for (CommandTarget* target : targets) {
    if (target->HandlesCommand(id)) {
      state.enabled = true;
      break;
    }
  }
  return state;
}

}  // namespace quarnel
