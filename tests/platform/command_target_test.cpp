#include "platform/command_target.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qstring_printer.h"

namespace quarnel {
namespace {

// A command chain as the program builds it: view, document, frame,
// application, where each link may be absent.
struct Chain {
  CommandMap view;
  CommandMap doc;
  CommandMap app;
  bool docOpen = true;
  CommandRouter router;

  Chain() {
    router.AddLink([this]() -> CommandTarget* { return docOpen ? &view : nullptr; });
    router.AddLink([this]() -> CommandTarget* { return docOpen ? &doc : nullptr; });
    router.AddTarget(app);
  }
};

TEST(CommandRouter, RunsTheFirstHandlerAlongTheChain) {
  Chain chain;
  std::vector<std::string> ran;
  chain.view.On(1, [&] { ran.push_back("view"); });
  chain.doc.On(1, [&] { ran.push_back("doc"); });
  chain.doc.On(2, [&] { ran.push_back("doc2"); });
  chain.app.On(2, [&] { ran.push_back("app2"); });
  chain.app.On(3, [&] { ran.push_back("app3"); });

  EXPECT_TRUE(chain.router.Execute(1));
  EXPECT_TRUE(chain.router.Execute(2));
  EXPECT_TRUE(chain.router.Execute(3));
  EXPECT_FALSE(chain.router.Execute(4));
  EXPECT_EQ(ran, (std::vector<std::string>{"view", "doc2", "app3"}));

  // With no document open, its links drop out and the application answers.
  chain.docOpen = false;
  ran.clear();
  EXPECT_TRUE(chain.router.Execute(2));
  EXPECT_FALSE(chain.router.Execute(1));
  EXPECT_EQ(ran, (std::vector<std::string>{"app2"}));
}

TEST(CommandRouter, UpdateHandlersComeBeforeCommandHandlers) {
  Chain chain;
  // The view runs command 10, but the document's update handler decides its
  // state, as an update handler anywhere along the chain is asked first.
  chain.view.On(10, [] {});
  chain.doc.Update(10, [](CommandState& s) { s.enabled = false; });
  EXPECT_FALSE(chain.router.Query(10).enabled);

  // An update handler alone: the state is its, the command runs further on.
  bool saved = false;
  chain.doc.Update(11, [](CommandState& s) { s.checked = true; });
  chain.app.On(11, [&] { saved = true; });
  const CommandState state = chain.router.Query(11);
  EXPECT_TRUE(state.enabled);
  EXPECT_TRUE(state.checked);
  EXPECT_TRUE(chain.router.Execute(11));
  EXPECT_TRUE(saved);
}

TEST(CommandRouter, CommandsWithoutAnyHandlerAreDisabled) {
  Chain chain;
  chain.app.On(5, [] {});
  EXPECT_TRUE(chain.router.Query(5).enabled);
  EXPECT_FALSE(chain.router.Query(5).checked);
  EXPECT_FALSE(chain.router.Query(6).enabled);
  EXPECT_FALSE(chain.router.Query(6).text.has_value());

  // A view command is disabled once no view is there to run it.
  chain.view.On(7, [] {});
  EXPECT_TRUE(chain.router.Query(7).enabled);
  chain.docOpen = false;
  EXPECT_FALSE(chain.router.Query(7).enabled);
}

TEST(CommandMap, RangesServeEveryIdInsideOnly) {
  CommandMap map;
  std::vector<int> ran;
  map.OnRange(
      100, 103, [&](int id) { ran.push_back(id); },
      [](int id, CommandState& s) { s.enabled = id < 102; });
  EXPECT_TRUE(map.HandlesCommand(100));
  EXPECT_TRUE(map.HandlesCommand(103));
  EXPECT_FALSE(map.HandlesCommand(99));
  EXPECT_FALSE(map.HandlesCommand(104));
  EXPECT_TRUE(map.OnCommand(101));
  EXPECT_FALSE(map.OnCommand(104));
  EXPECT_EQ(ran, std::vector<int>{101});

  CommandState state;
  EXPECT_TRUE(map.OnUpdate(101, state));
  EXPECT_TRUE(state.enabled);
  EXPECT_TRUE(map.OnUpdate(102, state));
  EXPECT_FALSE(state.enabled);
  CommandState untouched;
  EXPECT_FALSE(map.OnUpdate(104, untouched));

  // A single entry wins over a range that covers the same id.
  bool single = false;
  map.On(102, [&] { single = true; });
  EXPECT_TRUE(map.OnCommand(102));
  EXPECT_TRUE(single);
  EXPECT_EQ(ran, std::vector<int>{101});
}

}  // namespace
}  // namespace quarnel
