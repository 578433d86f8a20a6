#include "standin_host/module_library.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace keelmark::replay {

namespace {

// Function pointers come back from the loader as untyped addresses.
template <typename Function>
Function asFunction(void* address) {
    Function f = nullptr;
    static_assert(sizeof f == sizeof address);
    std::memcpy(&f, &address, sizeof f);
    return f;
}

#if defined(_WIN32)

std::string lastErrorText() {
    const DWORD code = GetLastError();
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length > 0 && buffer != nullptr ? std::string(buffer, length)
                                                       : "error " + std::to_string(code);
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

void* openLibrary(const std::string& path, std::string& reason) {
    HMODULE handle = LoadLibraryA(path.c_str());
    if (handle == nullptr) {
        reason = lastErrorText();
    }
    return reinterpret_cast<void*>(handle);
}

void* findSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void closeLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }

std::string executablePath() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return std::string(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

#else

void* openLibrary(const std::string& path, std::string& reason) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        reason = error != nullptr ? error : "unknown loader error";
    }
    return handle;
}

void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }

void closeLibrary(void* handle) { dlclose(handle); }

std::string executablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

#endif

// The directory part of a path, with its trailing separator; empty when the
// path has none.
std::string directoryOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

}  // namespace

ModuleLibrary::ModuleLibrary(const std::string& path) : path_(path) {
    std::string reason;
    handle_ = openLibrary(path, reason);
    if (handle_ == nullptr) {
        throw std::runtime_error("cannot load module " + path + ": " + reason);
    }
    auto require = [this](const char* name) {
        void* address = findSymbol(handle_, name);
        if (address == nullptr) {
            closeLibrary(handle_);
            handle_ = nullptr;
            throw std::runtime_error("module " + path_ + " does not export " + name);
        }
        return address;
    };
    dllName_ = asFunction<const char* (*)()>(require("scdll_DLLName"));
    dllVersion_ = asFunction<std::int32_t (*)()>(require("scdll_DLLVersion"));
    sessionLevels_ = asFunction<StudyFunction>(require("scsf_KeelmarkSessionLevels"));
    anchoredVwap_ = asFunction<StudyFunction>(require("scsf_KeelmarkAnchoredVWAP"));
}

ModuleLibrary::~ModuleLibrary() {
    if (handle_ != nullptr) {
        closeLibrary(handle_);
    }
}

std::string ModuleLibrary::dllName() const {
    const char* name = dllName_();
    return name != nullptr ? name : "";
}

std::int32_t ModuleLibrary::dllVersion() const { return dllVersion_(); }

std::string ModuleLibrary::defaultPath() {
    if (const char* overridePath = std::getenv("KEELMARK_MODULE");
        overridePath != nullptr && overridePath[0] != '\0') {
        return overridePath;
    }
    return directoryOf(executablePath()) + fileName();
}

std::string ModuleLibrary::executableDirectory() { return directoryOf(executablePath()); }

const char* ModuleLibrary::fileName() {
#if defined(_WIN32)
    return "KeelmarkSessionLevels_64.dll";
#else
    return "KeelmarkSessionLevels_64.so";
#endif
}

}  // namespace keelmark::replay
