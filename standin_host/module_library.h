// Loads the built module at run time, as the charting host does (dlopen on
// Linux, LoadLibrary on Windows), and finds its four exports.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "host/study_interface.h"

namespace keelmark::replay {

class ModuleLibrary {
public:
    // Throws std::runtime_error naming the path and the loader's reason.
    explicit ModuleLibrary(const std::string& path);
    ~ModuleLibrary();
    ModuleLibrary(const ModuleLibrary&) = delete;
    ModuleLibrary& operator=(const ModuleLibrary&) = delete;

    const std::string& path() const { return path_; }
    std::string dllName() const;
    std::int32_t dllVersion() const;
    StudyFunction sessionLevels() const { return sessionLevels_; }
    StudyFunction anchoredVwap() const { return anchoredVwap_; }

    // The module built beside the running executable (or, for tests, the
    // path in the KEELMARK_MODULE environment variable when it is set).
    static std::string defaultPath();
    // File name of the module on this platform.
    static const char* fileName();
    // The folder of the running executable, with its trailing separator.
    static std::string executableDirectory();

private:
    std::string path_;
    void* handle_ = nullptr;
    const char* (*dllName_)() = nullptr;
    std::int32_t (*dllVersion_)() = nullptr;
    StudyFunction sessionLevels_ = nullptr;
    StudyFunction anchoredVwap_ = nullptr;
};

}  // namespace keelmark::replay
