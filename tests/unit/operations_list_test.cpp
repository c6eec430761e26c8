// The one list of the seam's operations (platform/operations.h) against what
// the seam declares (platform/platform.h): an operation added to one and not
// to the other fails here, before the fault sweep could miss it.
#include "machine_fixture.h"

namespace {

// The functions namespace plat declares, in the header's order: each
// declaration starts a line with its return type and its name.
std::vector<std::string> DeclaredOperations(const std::string& header) {
    std::ifstream file(header);
    std::stringstream text;
    text << file.rdbuf();
    const std::string all = text.str();
    std::istringstream lines(all.substr(std::min(all.find("namespace plat {"), all.size())));
    static const std::regex declaration(R"(^(?:[A-Za-z_]\w*[\s*&]+)+([A-Za-z_]\w*)\s*\()");
    std::vector<std::string> names;
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_search(line, match, declaration)) names.push_back(match[1]);
    }
    return names;
}

TEST(OperationsList, NamesEveryOperationTheSeamDeclaresAndNoOther) {
    const std::vector<std::string> declared = DeclaredOperations(ZAN_PLATFORM_HEADER);
    ASSERT_GT(declared.size(), 40u) << "no declarations read from " << ZAN_PLATFORM_HEADER;
    const std::vector<std::string> listed(std::begin(plat::kOperations), std::end(plat::kOperations));
    EXPECT_EQ(listed, declared);
}

}  // namespace
