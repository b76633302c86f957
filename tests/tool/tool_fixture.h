// What the tests of the tarv tool share: running tarv as a process in a
// folder of its own, files in and out, JSON into messages, and a register.
#ifndef TARV_TESTS_TOOL_TOOL_FIXTURE_H_
#define TARV_TESTS_TOOL_TOOL_FIXTURE_H_

#include <google/protobuf/struct.pb.h>
#include <google/protobuf/util/json_util.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tarv::test {

namespace fs = std::filesystem;

inline std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline void put(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

struct Result {
  int status = -1;
  std::string out, err;
};

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tarv_tool_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path file(const std::string& name) const { return dir_ / name; }

  // Runs `tarv ARGS` in the test's folder with `input` on standard input;
  // `prefix` goes before it in the shell's command line (ulimit, setpriv...).
  Result tarv(const std::string& args, const std::string& input = "",
              const std::string& prefix = "") const {
    put(file("stdin"), input);
    const std::string command = "cd '" + dir_.string() + "' && " + prefix +
                                "'" TARV_BUILD_DIR "/tarv' " + args + " <stdin >stdout 2>stderr";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(file("stdout")), slurp(file("stderr"))};
  }

  fs::path dir_;
};

template <class Message>
Message from_json(const std::string& json) {
  Message m;
  EXPECT_TRUE(google::protobuf::util::JsonStringToMessage(json, &m).ok()) << json;
  return m;
}

// The "response" of `tarv call`'s output as the typed message.
template <class Message>
Message response_of(const std::string& call_output) {
  const auto out = from_json<google::protobuf::Struct>(call_output);
  std::string json;
  EXPECT_TRUE(google::protobuf::util::MessageToJsonString(out.fields().at("response"), &json).ok());
  return from_json<Message>(json);
}

// A register's state: its next document is 1, its shift open since 06:00.
inline constexpr char kState[] = R"({"context": {
  "currencies": ["BYN"], "device_id": 4242, "tax_number": 190123456,
  "next_doc_number": 1, "next_shift_number": 1,
  "shift_ctx": {"opened_at": "2024-03-15T06:00:00Z"}}})";

// A header `minute` minutes after the shift opened (minute < 60).
inline std::string header(int minute) {
  return R"({"cashier": "Иванов", "currency": "BYN", "at": "2024-03-15T06:)" +
         std::string(minute < 10 ? "0" : "") + std::to_string(minute) + R"(:00Z"})";
}

}  // namespace tarv::test

#endif  // TARV_TESTS_TOOL_TOOL_FIXTURE_H_
