// CString: length and text as given, copies sharing one buffer that the last holder
// frees (the sanitizers report a leak, a double free or a use after free).
#include <corvane/corvane.hpp>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_check.hpp"

using corvane::CString;

namespace {

void Expect(const CString& s, const std::string& text) {
    FUZZ_CHECK(s.GetLength() == static_cast<int>(text.size()));
    FUZZ_CHECK(s.IsEmpty() == text.empty());
    FUZZ_CHECK(std::strcmp(s.GetString(), text.c_str()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    // Texts separated by NUL bytes; each byte of the last piece picks an operation.
    const std::string all(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> texts;
    std::size_t from = 0;
    for (std::size_t at; (at = all.find('\0', from)) != std::string::npos; from = at + 1)
        texts.push_back(all.substr(from, at - from));
    const std::string ops = all.substr(from);
    if (texts.empty()) texts.push_back(ops);

    std::vector<CString> held(4);
    std::vector<std::string> model(4);
    std::size_t next = 0;
    for (unsigned char op : ops) {
        const std::size_t a = op % 4, b = (op >> 2) % 4;
        switch ((op >> 4) % 5) {
            case 0:
                held[a] = CString(texts[next % texts.size()].c_str());
                model[a] = texts[next++ % texts.size()];
                break;
            case 1:
                held[a] = held[b];
                model[a] = model[b];
                break;
            case 2:
                held[a] = std::move(held[b]);
                model[a] = model[b];
                if (a != b) model[b].clear();
                break;
            case 3:
                held[a].SetString(held[b].GetString());  // from a buffer it may share
                model[a] = model[b];
                break;
            case 4:
                held[a] = CString(nullptr);
                model[a].clear();
                break;
        }
        for (std::size_t k = 0; k < held.size(); ++k) Expect(held[k], model[k]);
    }
    return 0;
}
