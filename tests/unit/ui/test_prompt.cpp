#include "ui/prompt.h"

#include <gtest/gtest.h>

using namespace ui;

TEST(Prompt, ScriptedAnswersAreUsedInOrderAndRecordedExactly)
{
    ScriptedPrompts script;
    script.answer(Button::No).answer(ScriptedAnswer::file("/tmp/x.csv")).answer(ScriptedAnswer::input("abc"));

    EXPECT_FALSE(Prompt::question(nullptr, "Do you want\rto go on?", "Arvendel"));
    QString filter;
    EXPECT_EQ(Prompt::saveFileName(nullptr, "Save", "/tmp/a.csv", "CSV (*.csv)", &filter), "/tmp/x.csv");
    QString t = "start";
    EXPECT_TRUE(Prompt::inputText(nullptr, "Name", "Enter:", t));
    EXPECT_EQ(t, "abc");

    const auto asked = script.asked();
    ASSERT_EQ(asked.size(), 3);
    EXPECT_EQ(asked[0].text, "Do you want\rto go on?");
    EXPECT_EQ(asked[0].caption, "Arvendel");
    EXPECT_EQ(asked[0].icon, Icon::Question);
    EXPECT_EQ(asked[0].buttons, Button::Yes | Button::No);
    EXPECT_EQ(asked[0].button, int(Button::No));
    EXPECT_EQ(asked[1].kind, PromptKind::SaveFile);
    EXPECT_EQ(asked[1].initial, "/tmp/a.csv");
    EXPECT_EQ(asked[1].filter, "CSV (*.csv)");
    EXPECT_EQ(asked[2].initial, "start");
    EXPECT_EQ(script.pending(), 0);
    EXPECT_EQ(script.unscripted(), 0);
}

TEST(Prompt, UnscriptedPromptsBackOutWithoutShowingAnything)
{
    ScriptedPrompts script;
    EXPECT_EQ(Prompt::message(nullptr, "m", "c", Icon::Warning, Button::Yes | Button::No | Button::Cancel),
              int(Button::Cancel));
    EXPECT_EQ(Prompt::message(nullptr, "m", "c", Icon::Warning, Button::Ok), int(Button::Ok));
    EXPECT_TRUE(Prompt::openFileName(nullptr, "Open", "", "*").isEmpty());
    QString t = "keep";
    EXPECT_FALSE(Prompt::inputText(nullptr, "c", "l", t));
    EXPECT_EQ(t, "keep");
    EXPECT_EQ(script.unscripted(), 4);
}

TEST(Prompt, ResponderAnswersFromWhatWasAskedAndPasswordsAreNotKept)
{
    ScriptedPrompts script;
    script.respond([](const PromptRecord &r) {
        return r.text.contains("delete") ? ScriptedAnswer(Button::Yes) : ScriptedAnswer::input("s3cret");
    });
    EXPECT_TRUE(Prompt::question(nullptr, "Really delete?", "c"));
    QString pw = "old-secret";
    EXPECT_TRUE(Prompt::inputText(nullptr, "Password", "Password:", pw, true));
    EXPECT_EQ(pw, "s3cret");
    const auto asked = script.asked();
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[1].initial.isEmpty());
    EXPECT_TRUE(asked[1].answerText.isEmpty());
}

TEST(Prompt, ScriptingEndsWithItsScope)
{
    {
        ScriptedPrompts script;
        script.answer(Button::Yes);
        EXPECT_TRUE(Prompt::isScripted());
    }
    EXPECT_FALSE(Prompt::isScripted());
    EXPECT_EQ(Prompt::pending(), 0);
    EXPECT_TRUE(Prompt::asked().isEmpty());
}
