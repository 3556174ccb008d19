// libFuzzer harness: the command language, with the input also served as
// the content of any response file it names.
#include <cstddef>
#include <cstdint>
#include <string>

#include "lha_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    unlha::Command cmd;
    std::string error;
    unlha::parse_command(
        text,
        [&](const std::string&, std::string& content) {
            content = text;
            return true;
        },
        cmd, error);
    unlha::is_safe_relative_path(text);
    unlha::wildcard_match(text, std::string("name.ext"));
    return 0;
}
