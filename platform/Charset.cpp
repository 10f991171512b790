#include "platform/Charset.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/DebugLog.h"
#include "platform/IconvDescriptor.h"

namespace platform {
namespace {

constexpr size_t kFailed = static_cast<size_t>(-1);

// Length in bytes of the one character that starts at `p` in the source set, or 0 when the bytes there
// do not decode at all. Tells "the target cannot hold it" (skip the whole character) apart from
// "invalid input" (skip one unit).
size_t DecodableLength(IconvDescriptor& probe, const char* p, size_t left) {
    constexpr size_t kLongestCharacter = 8;
    for (size_t n = 1; n <= std::min(left, kLongestCharacter); ++n) {
        probe.Reset();
        char* in = const_cast<char*>(p);
        size_t inLeft = n;
        char buffer[32];
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        if (iconv(probe.Get(), &in, &inLeft, &out, &outLeft) != kFailed && inLeft == 0) return n;
        if (errno != EINVAL) return 0;
    }
    return 0;
}

class Converter {
  public:
    Converter(std::string_view input, IconvDescriptor& cd, const std::string& fromCharset,
              const Substitute& substitute)
        : m_cd(cd),
          m_fromCharset(fromCharset),
          m_substitute(substitute),
          m_in(const_cast<char*>(input.data())),
          m_inLeft(input.size()),
          m_out(input.size() * 2 + 16, '\0') {}

    std::string Run() {
        bool flushing = false;
        for (;;) {
            char* out = m_out.data() + m_produced;
            size_t outLeft = m_out.size() - m_produced;
            const size_t result = flushing ? iconv(m_cd.Get(), nullptr, nullptr, &out, &outLeft)
                                           : iconv(m_cd.Get(), &m_in, &m_inLeft, &out, &outLeft);
            m_produced = static_cast<size_t>(out - m_out.data());
            if (result != kFailed) {
                if (flushing) break;
                flushing = true;
            } else if (errno == E2BIG) {
                m_out.resize(m_out.size() * 2);
            } else if (errno == EILSEQ && !flushing) {
                SkipUndecodable();
            } else if (errno == EINVAL && !flushing) {
                SkipCutOffTail();
            } else {
                break;
            }
        }
        m_out.resize(m_produced);
        return std::move(m_out);
    }

  private:
    void SkipUndecodable() {
        if (m_probe == nullptr) m_probe = &IconvDescriptor::ForThread("UTF-32LE", m_fromCharset);
        const size_t length = m_probe->IsValid() ? DecodableLength(*m_probe, m_in, m_inLeft) : 0;
        Skip(length != 0 ? length : m_substitute.unit);
    }

    void SkipCutOffTail() { Skip(m_substitute.perUnitAtEnd ? m_substitute.unit : m_inLeft); }

    void Skip(size_t bytes) {
        bytes = std::min(m_inLeft, bytes);
        m_in += bytes;
        m_inLeft -= bytes;
        if (m_out.size() - m_produced < m_substitute.text.size()) {
            m_out.resize(m_out.size() * 2 + m_substitute.text.size());
        }
        std::memcpy(m_out.data() + m_produced, m_substitute.text.data(), m_substitute.text.size());
        m_produced += m_substitute.text.size();
    }

    IconvDescriptor& m_cd;
    IconvDescriptor* m_probe = nullptr;
    const std::string& m_fromCharset;
    const Substitute& m_substitute;
    char* m_in;
    size_t m_inLeft;
    std::string m_out;
    size_t m_produced = 0;
};

}  // namespace

std::optional<std::string> ConvertText(std::string_view text, const std::string& toCharset,
                                       const std::string& fromCharset, const Substitute& substitute) {
    IconvDescriptor& cd = IconvDescriptor::ForThread(toCharset, fromCharset);
    if (!cd.IsValid()) {
        DebugLog("charset", "no conversion to " + toCharset + " from " + fromCharset);
        return std::nullopt;
    }
    return Converter(text, cd, fromCharset, substitute).Run();
}

}  // namespace platform
