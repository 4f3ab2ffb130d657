// The settings store's file, as a user or a damaged disk may leave it: what is read, written back
// and read again is what was read.
#include "FuzzCheck.h"

#include "common/platform/RegistryStore.h"

using namespace harbel;

namespace {

bool sameSections(const QList<RegistryStore::Section>& a, const QList<RegistryStore::Section>& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].key != b[i].key || a[i].values.size() != b[i].values.size())
            return false;
        for (qsizetype j = 0; j < a[i].values.size(); ++j) {
            const auto& x = a[i].values[j];
            const auto& y = b[i].values[j];
            if (x.name != y.name || x.data != y.data || x.hasData != y.hasData)
                return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<RegistryStore::Section> sections = RegistryStore::parse(bytes);
    // Every section and value stands on a line of its own.
    FUZZ_CHECK(sections.size() <= bytes.size() / 3 + 1);
    const QByteArray written = RegistryStore::serialize(sections);
    FUZZ_CHECK(sameSections(sections, RegistryStore::parse(written)));
    FUZZ_CHECK(RegistryStore::serialize(RegistryStore::parse(written)) == written);
    return 0;
}
