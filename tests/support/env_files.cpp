#include "support/env_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>

#include "clam/coding/char_tables.h"
#include "clam/coding/env_compiler.h"
#include "platform/platform.h"
#include "support/temp_prefix.h"

namespace testing_support {
namespace fs = std::filesystem;

std::string ReadSourceFile(const std::string& relative) {
    const char* root = std::getenv("WORDHAUL_SOURCE_DIR");
    const fs::path path = fs::path(root != nullptr ? root : WORDHAUL_TEST_SOURCE_DIR) / relative;
    EXPECT_TRUE(fs::is_regular_file(path)) << "cannot read " << path;
    return TempPrefix::ReadFile(path);
}

std::vector<std::uint8_t> CompileText(const std::string& text) {
    ClamCompiledEnv compiled;
    ClamEnvError error;
    EXPECT_TRUE(ClamCompileEnvText(text, compiled, error))
        << "line " << error.line << ": " << error.message;
    return compiled.file;
}

PhonEnvPtr LoadEnvBytes(const std::vector<std::uint8_t>& bytes, int* status) {
    const fs::path path = fs::temp_directory_path() /
                          ("wordhaul-env-" + std::to_string(std::random_device{}()) + ".env");
    TempPrefix::WriteFile(path, std::string(bytes.begin(), bytes.end()));
    std::wstring wide;
    EXPECT_TRUE(platform::Utf8ToWideChars(path.string(), wide));
    auto& os = platform::CurrentPlatform();
    const int fd =
        os.Open(wide, platform::kOpenReadOnly | platform::kOpenBinary, platform::kPermRead);
    EXPECT_GT(fd, 0);
    PhonEnvPtr env(ClamLoadPhonEnv(fd, 0, status));
    os.Close(fd);
    fs::remove(path);
    return env;
}

std::vector<std::uint8_t> CraftedEnv::File() const {
    std::string out = {char(version), char(language), magic[0], magic[1]};
    const auto put = [&](std::size_t v) { out += {char(v & 0xFF), char(v >> 8)}; };
    for (const std::uint16_t n : numbers) put(n);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        put(declared[i] >= 0 ? std::size_t(declared[i]) : sections[i].size());
    }
    for (const std::string& section : sections) out += section;
    return {out.begin(), out.end()};
}

PhonEnvPtr CraftedEnv::Load(int& status) const {
    status = -1;
    return LoadEnvBytes(File(), &status);
}

CraftedEnv ParseEnvFile(const std::vector<std::uint8_t>& file) {
    CraftedEnv env;
    EXPECT_GE(file.size(), kClamPhonEnvHeaderSize);
    if (file.size() < kClamPhonEnvHeaderSize) return env;
    env.version = file[0];
    env.language = file[1];
    env.magic = {char(file[2]), char(file[3])};
    const auto number = [&](std::size_t i) { return file[4 + 2 * i] | (file[5 + 2 * i] << 8); };
    for (std::size_t i = 0; i < env.numbers.size(); ++i) {
        env.numbers[i] = static_cast<std::uint16_t>(number(i));
    }
    std::size_t at = kClamPhonEnvHeaderSize;
    for (std::size_t i = 0; i < env.sections.size(); ++i) {
        const std::size_t size = std::min<std::size_t>(number(7 + i), file.size() - at);
        env.sections[i].assign(file.begin() + at, file.begin() + at + size);
        at += size;
    }
    return env;
}

std::string Bytes(std::string_view notation) {
    std::string bytes;
    for (std::size_t i = 0; i < notation.size(); ++i) {
        if (notation[i] == '<' && i + 3 < notation.size() && notation[i + 3] == '>') {
            bytes.push_back(
                static_cast<char>(std::stoi(std::string(notation.substr(i + 1, 2)), nullptr, 16)));
            i += 3;
        } else {
            bytes.push_back(notation[i]);
        }
    }
    return bytes;
}

std::string Pairs(std::string_view notation) {
    std::string pairs;
    std::stringstream tokens{std::string(notation)};
    for (std::string token; tokens >> token;) {
        const std::size_t digits = token.find_last_not_of("0123456789") + 1;
        const std::string letter = Bytes(token.substr(0, digits));
        pairs += letter == "+" ? "\x09" : letter == "_" ? "\x0b" : letter;
        pairs.push_back(static_cast<char>(std::stoi(token.substr(digits))));
    }
    return pairs;
}

std::string FoldedLetters(int language) {
    const std::uint8_t* alphabet = ClamAlphabetTable(language);
    const std::uint8_t* types = ClamLetterTypeTable(language);
    std::string letters;
    for (int b = 1; b < 256; ++b) {
        const bool marker = b >= 4 && b <= 6;
        if ((alphabet[b] & kClamValidWordChar) && !(types[b] & kClamUpperCaseLetter) && !marker) {
            letters.push_back(static_cast<char>(b));
        }
    }
    return letters;
}

PhonEnvPtr LoadLanguage(int language) {
    int status = -1;
    PhonEnvPtr env = LoadEnvBytes(CompiledDefinition(DefinitionName(language)), &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(env, nullptr);
    return env;
}

}  // namespace testing_support
