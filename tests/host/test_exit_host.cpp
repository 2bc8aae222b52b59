// Hosts that close their plug-ins from a static destructor of their own,
// after the library's static objects are gone (tests/exit_host/main.cpp),
// under the same sanitizers as this program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

TEST(ExitHost, InstancesClosedAfterTheLibrarysStaticsGoCleanly) {
    const struct {
        const char* name;
        std::string arguments;
        const char* closed;
    } cases[] = {
        {"vst", std::string("vst '") + ONDIX_SO_PATH + "'", "closed 2 effects, 0 units"},
        {"vst-editor", std::string("vst '") + ONDIX_SO_PATH + "' --editor",
         "closed 2 effects, 0 units"},
        {"au", std::string("au '") + ONDIX_AU_SO_PATH + "'", "closed 0 effects, 1 units"},
    };
    const auto folder = std::filesystem::path(ONDIX_TEST_OUTPUT_DIR) / "exit-host";
    std::filesystem::create_directories(folder);
    for (const auto& c : cases) {
        const auto log = folder / (std::string(c.name) + ".txt");
        const std::string command = std::string("'") + ONDIX_EXIT_HOST + "' " + c.arguments +
                                    " > '" + log.string() + "' 2>&1";
        const int status = std::system(command.c_str());
        std::ifstream in(log);
        std::stringstream output;
        output << in.rdbuf();
        EXPECT_EQ(status, 0) << c.name << ":\n" << output.str();
        EXPECT_NE(output.str().find(c.closed), std::string::npos) << c.name << ":\n"
                                                                  << output.str();
    }
}
