// The one reading of the command line: keywords anywhere, case-sensitive,
// but never inside a /LOG= option, whose path is taken as deployment tools
// pass it.
#include "machine_fixture.h"

namespace {

struct Reading {
    const char* text;
    Operation operation;
    // S silent, U unattended, B base device, M four-port card.
    const char* flags;
    // nullptr: no /LOG= option.
    const char* logPath;
};

void PrintTo(const Reading& reading, std::ostream* os) { *os << '"' << reading.text << '"'; }

std::string Flags(const RunOptions& options) {
    std::string flags;
    if (options.silent) flags += 'S';
    if (options.unattended) flags += 'U';
    if (options.installBase) flags += 'B';
    if (options.multiPort) flags += 'M';
    return flags;
}

class ReadingTest : public ::testing::TestWithParam<Reading> {};

}  // namespace

TEST_P(ReadingTest, GivesTheChoicesAndTheLogPath) {
    const Reading& want = GetParam();
    const RunOptions options = ParseRunOptions(want.text);

    EXPECT_EQ(options.operation, want.operation);
    EXPECT_EQ(Flags(options), want.flags);
    EXPECT_EQ(options.logGiven, want.logPath != nullptr);
    EXPECT_EQ(options.logPath, want.logPath != nullptr ? want.logPath : "");
}

INSTANTIATE_TEST_SUITE_P(CommandLines, ReadingTest, ::testing::Values(
    // The keyword rules as they always were.
    Reading{"", Operation::None, "", nullptr},
    Reading{"INSTALL BASE_DEVICE MAROVEL_SERIAL", Operation::Install, "BM", nullptr},
    Reading{"D:\\INSTALL\\setup.cmd", Operation::Install, "", nullptr},
    Reading{"install SILENT unattended", Operation::None, "S", nullptr},
    Reading{"INSTALL SILENT UNINSTALL", Operation::Uninstall, "S", nullptr},
    Reading{"/x:UNINSTALLER", Operation::Uninstall, "", nullptr},
    Reading{"install uninstall Install", Operation::None, "", nullptr},
    Reading{"UN INSTALL", Operation::Install, "", nullptr},
    Reading{"/LOG", Operation::None, "", nullptr},
    // UNATTENDED takes the choices from the command line as SILENT does.
    Reading{"UNATTENDED INSTALL MAROVEL_SERIAL", Operation::Install, "SUM", nullptr},
    // /LOG= is cut out before the keywords are sought, in every form.
    Reading{"/LOG=C:\\INSTALL\\UNATTENDED.log", Operation::None, "", "C:\\INSTALL\\UNATTENDED.log"},
    Reading{"INSTALL /LOG=\"C:\\INSTALL logs\\UNINSTALL.txt\" SILENT", Operation::Install, "S",
            "C:\\INSTALL logs\\UNINSTALL.txt"},
    Reading{"INSTALL \"/LOG=C:\\INSTALL logs\\UNINSTALL.txt\" SILENT", Operation::Install, "S",
            "C:\\INSTALL logs\\UNINSTALL.txt"},
    Reading{"INSTALL\t/log=C:\\x\\SILENT.log\tBASE_DEVICE", Operation::Install, "B", "C:\\x\\SILENT.log"},
    Reading{"INSTALL /Log=run.log", Operation::Install, "", "run.log"},
    // An unquoted path ends at a blank; a quoted one without its closing
    // quote runs to the end of the text.
    Reading{"/LOG=C:\\INSTALL logs\\x.log", Operation::None, "", "C:\\INSTALL"},
    Reading{"SILENT /LOG=\"C:\\a\\UNINSTALL", Operation::None, "S", "C:\\a\\UNINSTALL"},
    Reading{"UNINSTALL /LOG=", Operation::Uninstall, "", ""},
    Reading{"UNINSTALL /LOG=\"\"", Operation::Uninstall, "", ""},
    // The last /LOG= names the log; every one is cut out.
    Reading{"/LOG=UNINSTALL.a INSTALL /LOG=b.log", Operation::Install, "", "b.log"},
    // Only where an argument starts: elsewhere "/LOG=" is ordinary text.
    Reading{"x/LOG=UNINSTALL INSTALL", Operation::Uninstall, "", nullptr},
    Reading{"INSTALL=/LOG=x", Operation::Install, "", nullptr}),
    [](const ::testing::TestParamInfo<Reading>& info) { return "Case" + std::to_string(info.index); });

TEST(LogOptionSpans, CoverTheWholeOptionWithItsQuotes) {
    const std::string text = "INSTALL \"/LOG=C:\\a b\\c.log\" /LOG=\"d e.log\" SILENT";
    const std::vector<LogOptionSpan> spans = FindLogOptions(text);

    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(text.substr(spans[0].begin, spans[0].end - spans[0].begin), "\"/LOG=C:\\a b\\c.log\"");
    EXPECT_EQ(spans[0].path, "C:\\a b\\c.log");
    EXPECT_EQ(text.substr(spans[1].begin, spans[1].end - spans[1].begin), "/LOG=\"d e.log\"");
    EXPECT_EQ(spans[1].path, "d e.log");
}
