// A folder of a GUI test's own, made anew under the system's temporary folder. The child of a death
// test started anew (the only kind on Windows) works in its parent's folder, which it finds named in
// its environment.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace velomat::testing {

inline constexpr const char* kTestFolderVariable = "VELOMAT_TEST_FOLDER";

// A new, empty folder "<temp>/<prefix><random number>", or in a death test's child its parent's folder.
inline std::filesystem::path makeTestFolder(const std::string& prefix) {
  if (!GTEST_FLAG_GET(internal_run_death_test).empty() && qEnvironmentVariableIsSet(kTestFolderVariable)) {
    return std::filesystem::path(qEnvironmentVariable(kTestFolderVariable).toStdWString());
  }
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / (prefix + std::to_string(random()));
    if (std::filesystem::create_directory(folder)) {
      qputenv(kTestFolderVariable, QString::fromStdWString(folder.wstring()).toLocal8Bit());
      return folder;
    }
  }
  throw std::runtime_error("no new folder could be made for " + prefix);
}

}  // namespace velomat::testing
