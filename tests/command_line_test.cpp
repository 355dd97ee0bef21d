// Splitting a command line the way a Windows program splits its own.
#include <gtest/gtest.h>

#include "command_line.h"

using vantrel::SplitCommandLine;
using Args = std::vector<std::string>;

TEST(CommandLine, BlanksSeparateAndRunsOfThemCountOnce) {
    EXPECT_EQ((Args{"prog", "a", "b", "c"}), SplitCommandLine("  prog a \t b   c  "));
    EXPECT_EQ(Args{}, SplitCommandLine(""));
    EXPECT_EQ(Args{}, SplitCommandLine(" \t "));
}

TEST(CommandLine, QuotesGroupBlanksAndMayStartMidWord) {
    EXPECT_EQ((Args{"prog", "a b", "x y z", ""}), SplitCommandLine("prog \"a b\" x\" y \"z \"\""));
    EXPECT_EQ((Args{"prog", "open end"}), SplitCommandLine("prog \"open end"));
    EXPECT_EQ((Args{"prog", "say \"hi\""}), SplitCommandLine("prog \"say \"\"hi\"\"\""));
}

TEST(CommandLine, BackslashesCountOnlyBeforeAQuote) {
    EXPECT_EQ((Args{"prog", "C:\\dir\\file.mdb"}), SplitCommandLine("prog C:\\dir\\file.mdb"));
    EXPECT_EQ((Args{"prog", "a\"b"}), SplitCommandLine("prog a\\\"b"));            // 1: literal quote
    EXPECT_EQ((Args{"prog", "a\\\\b c"}), SplitCommandLine("prog \"a\\\\b c\""));   // not before a quote: as is
    EXPECT_EQ((Args{"prog", "a\\", "b"}), SplitCommandLine("prog \"a\\\\\" b"));     // 2: one, quote closes
    EXPECT_EQ((Args{"prog", "a\\\"b"}), SplitCommandLine("prog a\\\\\\\"b"));       // 3: one and a literal quote
    EXPECT_EQ((Args{"prog", "C:\\My Dir\\"}), SplitCommandLine("prog \"C:\\My Dir\\\\\""));
}

TEST(CommandLine, ProgramNameTakesNoBackslashRules) {
    EXPECT_EQ((Args{"C:\\Program Files\\x\\", "a"}), SplitCommandLine("\"C:\\Program Files\\x\\\" a"));
    EXPECT_EQ((Args{"dir\\prog", "a"}), SplitCommandLine("dir\\prog a"));
}

TEST(CommandLine, ShellCharactersAreOrdinary) {
    EXPECT_EQ((Args{"prog", "$HOME", "*.mdb", "a;b", "|", ">out", "'x", "y'", "`id`"}),
              SplitCommandLine("prog $HOME *.mdb a;b | >out 'x y' `id`"));
}
