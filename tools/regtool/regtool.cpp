// regtool: reads and writes the registry hive from the command line.
//
//   regtool get KEY NAME        prints the string value (exit 1 when missing)
//   regtool set KEY NAME VALUE  creates the key if needed and writes the value
//   regtool dump                prints the whole hive
//
// Arguments and output are UTF-8; the hive holds CP949. KEY is taken from
// HKEY_LOCAL_MACHINE, e.g. "Software\(주)Norvane\Velmontis\Communication".
#include "common/codec.h"
#include "common/errors.h"
#include "platform/registry.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <iostream>

namespace {

int usage()
{
    std::cerr << "usage: regtool get KEY NAME\n"
                 "       regtool set KEY NAME VALUE\n"
                 "       regtool dump\n"
                 "The hive: " << fm::TRegistry::HivePath() << "\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) return usage();
    const std::string cmd = argv[1];
    try {
        if (cmd == "get" && argc == 4) {
            fm::TRegistry reg;
            if (!reg.OpenKeyReadOnly(fm::K(argv[2]))) {
                std::cerr << "regtool: no key '" << argv[2] << "'\n";
                return 1;
            }
            const std::string name = fm::K(argv[3]);
            if (!reg.ValueExists(name)) {
                std::cerr << "regtool: no value '" << argv[3] << "' in '" << argv[2] << "'\n";
                return 1;
            }
            std::cout << fm::Cp949ToUtf8(reg.ReadString(name)) << "\n";
            return 0;
        }
        if (cmd == "set" && argc == 5) {
            fm::TRegistry reg;
            const std::string key = fm::K(argv[2]);
            std::string_view names = key;
            while (!names.empty() && names.front() == '\\') names.remove_prefix(1);
            while (!names.empty() && names.back() == '\\') names.remove_suffix(1);
            if (static_cast<size_t>(std::count(names.begin(), names.end(), '\\')) >= fm::kMaxKeyDepth) {
                std::cerr << "regtool: the key is nested deeper than " << fm::kMaxKeyDepth << " levels\n";
                return 2;
            }
            if (!reg.OpenKey(key, true)) {
                std::cerr << "regtool: cannot open or create '" << argv[2]
                          << "' (is the hive writable?): " << fm::TRegistry::HivePath() << "\n";
                return 2;
            }
            reg.WriteString(fm::K(argv[3]), fm::K(argv[4]));
            return 0;
        }
        if (cmd == "dump" && argc == 2) {
            std::cout << fm::TRegistry::Dump();
            return 0;
        }
    } catch (const fm::Error &e) {
        std::cerr << "regtool: " << e.what() << "\n";
        return 2;
    }
    return usage();
}
