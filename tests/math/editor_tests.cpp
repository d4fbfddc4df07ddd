#include <QJsonArray>
#include <gtest/gtest.h>

#include "ryx/math/editor.h"

using ryx::math::editor;

TEST(editor, keys_carry_a_two_digit_order)
{
    EXPECT_EQ(editor::key(20, "window"), "20_window");
    EXPECT_EQ(editor::key(5, "name"), "05_name");
    EXPECT_EQ(editor::key(22, "order"), "22_order");
}

TEST(editor, numeric_and_choice_editors_have_their_members)
{
    const QJsonObject n = editor::number(1.5, 0.01, 100.0, 3, editor::label("Window", "sec"));
    EXPECT_EQ(n["type"].toString(), "double");
    EXPECT_EQ(n["value"].toDouble(), 1.5);
    EXPECT_EQ(n["min"].toDouble(), 0.01);
    EXPECT_EQ(n["max"].toDouble(), 100.0);
    EXPECT_EQ(n["prec"].toInt(), 3);
    EXPECT_TRUE(n["prec"].isDouble());
    EXPECT_EQ(n["label"].toString(), "Window, sec");
    EXPECT_EQ(n.size(), 6);

    const QJsonObject c = editor::choice(1, "Type", QStringList{"Lowpass", "Highpass"});
    EXPECT_EQ(c["type"].toString(), "combobox");
    EXPECT_EQ(c["value"].toInt(), 1);
    EXPECT_EQ(c["items"].toArray().size(), 2);
    EXPECT_EQ(c["items"].toArray()[1].toString(), "Highpass");

    const QJsonObject d = editor::choice(QJsonValue(6), "Kind",
                                         QJsonArray{editor::item(0, "Bessel"), editor::item(6, "RBJ")});
    EXPECT_EQ(d["items"].toArray()[1].toObject()["data"].toInt(), 6);
    EXPECT_EQ(d["items"].toArray()[1].toObject()["text"].toString(), "RBJ");
}
