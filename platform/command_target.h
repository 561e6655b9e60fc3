#pragma once

#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace quarnel {

// What a menu item or toolbar button of a command shows.
struct CommandState {
  bool enabled = true;
  bool checked = false;
  std::optional<QString> text;  // replaces the item's text when set
};

// An object that handles commands by id: a view, a document, the main window,
// the application. Commands travel along a chain of targets (CommandRouter).
class CommandTarget {
 public:
  virtual ~CommandTarget() = default;

  // Runs the command when this target has a handler for it; true when it ran.
  virtual bool OnCommand(int id) = 0;
  // True when this target has a command handler for id (whether or not it
  // also has an update handler).
  virtual bool HandlesCommand(int id) const = 0;
  // True when this target has an update handler for id, after the handler
  // has set the state. The state starts enabled and unchecked.
  virtual bool OnUpdate(int id, CommandState& state) = 0;
};

// A command target made of tables: per id a command handler, an update
// handler, or both. Classes that handle commands hold one and forward to it.
class CommandMap final : public CommandTarget {
 public:
  using Handler = std::function<void()>;
  using Updater = std::function<void(CommandState&)>;

  // Adds a command handler for id, with an optional update handler.
  CommandMap& On(int id, Handler handler, Updater update = {});
  // Adds an update handler alone; the command itself is handled further
  // along the chain.
  CommandMap& Update(int id, Updater update);
  // Handlers for every id in first..last, given the id.
  CommandMap& OnRange(int first, int last, std::function<void(int)> handler,
                      std::function<void(int, CommandState&)> update = {});

  bool OnCommand(int id) override;
  bool HandlesCommand(int id) const override;
  bool OnUpdate(int id, CommandState& state) override;

 private:
  struct Range {
    int first;
    int last;
    std::function<void(int)> handler;
    std::function<void(int, CommandState&)> update;
  };
  const Range* FindRange(int id) const;

  std::map<int, Handler> handlers_;
  std::map<int, Updater> updaters_;
  std::vector<Range> ranges_;
};

// The chain along which a command travels: the active view, its document, the
// main window, the application. Each link is asked for its current target,
// which may be null (no document open).
//
// Execute runs the first command handler along the chain. Query looks first
// for an update handler anywhere along the chain; when none has one, the
// command is enabled exactly when some target has a command handler for it.
class CommandRouter {
 public:
  using Link = std::function<CommandTarget*()>;

  void AddLink(Link link) { links_.push_back(std::move(link)); }
  void AddTarget(CommandTarget& target) {
    links_.push_back([&target] { return &target; });
  }

  bool Execute(int id) const;
  CommandState Query(int id) const;

 private:
  std::vector<CommandTarget*> Targets() const;

  std::vector<Link> links_;
};

}  // namespace quarnel
