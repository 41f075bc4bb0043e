#include <gtest/gtest.h>

#include "hosts/HostWindow.h"
#include "support/RecordingPlatform.h"

namespace marlo {
namespace {

HostTable Table(std::initializer_list<const char*> names) {
    HostTable t;
    for (const char* n : names) {
        HostEntry e;
        e.Name = n;
        t.Add(e);
    }
    return t;
}

std::vector<std::string> Names(const HostTable& t) {
    std::vector<std::string> v;
    for (const auto& e : t.Entries()) v.push_back(e.Name);
    return v;
}

// A prompt that answers from a list and records what it was prefilled with.
struct Prompt {
    std::vector<std::optional<std::string>> answers;
    std::vector<std::string> prefills;
    HostWindowModel::NamePrompt fn() {
        return [this](const std::string& p) -> std::optional<std::string> {
            prefills.push_back(p);
            if (answers.empty()) return std::nullopt;
            auto a = answers.front();
            answers.erase(answers.begin());
            return a;
        };
    }
};

TEST(HostWindow, OnlineRefusesToOpen) {
    test::RecordingPlatform p;
    EXPECT_TRUE(HostWindowModel::MayOpen(false, p));
    EXPECT_FALSE(HostWindowModel::MayOpen(true, p));
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].text, kHostOnline);
}

TEST(HostWindow, CommandsNeedASelection) {
    test::RecordingPlatform p;
    HostWindowModel w(Table({"a"}), p);
    w.Select(std::nullopt);
    Prompt prompt;
    EXPECT_EQ(w.Connect(), std::nullopt);
    EXPECT_FALSE(w.Delete());
    EXPECT_FALSE(w.Copy(prompt.fn()));
    w.MoveUp();
    EXPECT_EQ(p.boxes.size(), 4u);
    for (const auto& b : p.boxes) EXPECT_EQ(b.text, kHostNotSelected);
    EXPECT_EQ(p.beeps, 0);
}

TEST(HostWindow, AddCopyAndPropertiesSettleTheName) {
    test::RecordingPlatform p;
    HostWindowModel w(Table({"a", "b"}), p);
    Prompt prompt;
    // Add with a taken name: told, asked again, accepted under the new name and selected.
    prompt.answers = {"c"};
    EXPECT_TRUE(w.Add([](HostEntry& e) { return e.Name = "a", true; }, prompt.fn()));
    EXPECT_EQ(Names(w.Table()), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(w.Selection(), 2u);
    EXPECT_EQ(prompt.prefills, std::vector<std::string>{"a"});
    EXPECT_EQ(p.boxes.back().text, kHostDuplicate);
    EXPECT_EQ(w.Table().At(2).ModemIniCommand, "ATE1Q0V1X3");

    // Copy to its own name is a duplicate; Cancel then leaves the table as it was.
    w.Select(0);
    prompt = {};
    prompt.answers = {"a", std::nullopt};
    EXPECT_FALSE(w.Copy(prompt.fn()));
    EXPECT_EQ(w.Table().Size(), 3u);
    EXPECT_EQ(prompt.prefills, (std::vector<std::string>{"a", "a"}));

    // Properties: keeping its own name is fine; the fields are written back.
    w.Select(1);
    EXPECT_TRUE(w.Properties([](HostEntry& e) { return e.Speed = 9600, true; }, prompt.fn()));
    EXPECT_EQ(w.Table().At(1).Speed, 9600);
    // Sheet cancelled: nothing changes.
    EXPECT_FALSE(w.Properties([](HostEntry& e) { return e.Speed = 300, false; }, prompt.fn()));
    EXPECT_EQ(w.Table().At(1).Speed, 9600);
}

TEST(HostWindow, DeleteMoveAndSort) {
    test::RecordingPlatform p;
    HostWindowModel w(Table({"c", "a", "b"}), p);
    w.Select(2);
    p.answers = {MsgResult::Cancel, MsgResult::Ok};
    EXPECT_FALSE(w.Delete());
    EXPECT_TRUE(w.Delete());
    EXPECT_EQ(p.boxes[0].text, "「b」を削除します．");
    EXPECT_EQ(Names(w.Table()), (std::vector<std::string>{"c", "a"}));
    EXPECT_EQ(w.Selection(), 1u);  // the new last entry

    w.MoveDown();
    EXPECT_EQ(p.beeps, 1);
    w.MoveUp();
    EXPECT_EQ(Names(w.Table()), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(w.Selection(), 0u);
    w.MoveUp();
    EXPECT_EQ(p.beeps, 2);

    w.Select(0);
    HostWindowModel sorted(Table({"z", "m", "a"}), p);
    sorted.Select(0);
    sorted.SortByName();
    EXPECT_EQ(Names(sorted.Table()), (std::vector<std::string>{"a", "m", "z"}));
    EXPECT_EQ(sorted.Selection(), 2u);  // the selected entry stays selected
    EXPECT_EQ(sorted.Connect(), 2u);
}

}  // namespace
}  // namespace marlo
