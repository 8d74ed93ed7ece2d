#include "testing/test_util.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "fs/workspace_lock.h"

namespace tavex::testing {

int HoldWorkspaceLockInChild(const std::string& workspace) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    try {
      const WorkspaceLock lock(workspace);
      (void)!write(ready[1], "1", 1);
      while (true) pause();
    } catch (...) {
      _exit(1);
    }
  }
  close(ready[1]);
  char byte = 0;
  (void)!read(ready[0], &byte, 1);
  close(ready[0]);
  return byte == '1' ? child : -1;
}

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "tavex-test-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                               ec);
  std::filesystem::remove_all(path_, ec);
}

void WriteTestFile(const std::string& path, const std::string& data) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string IconvText(const std::string& text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out(text.size() * 4 + 8, '\0');
  char* in_p = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  char* out_p = out.data();
  std::size_t out_left = out.size();
  const bool ok = iconv(cd, &in_p, &in_left, &out_p, &out_left) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  if (!ok) return {};
  out.resize(out.size() - out_left);
  return out;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text does not end with CR LF";
  return lines;
}

}  // namespace tavex::testing
