#include "clam/coding/char_tables.h"

#include "clam/coding/char_tables_data.h"

namespace {

bool IsLanguage(int language) {
    return language >= 1 && language <= kClamLanguageCount;
}

const uint8_t* SetTable(const std::array<ClamByteTable, kClamCharacterSetCount>& tables,
                        int language) {
    const int set = ClamCharacterSet(language);
    return set == 0 ? nullptr : tables[set - 1].data();
}

}  // namespace

int ClamCharacterSet(int language) {
    return IsLanguage(language) ? static_cast<int>(kClamLanguageCharacterSet[language]) : 0;
}

const uint8_t* ClamLowerTable(int language) {
    return SetTable(kClamLowerTables, language);
}

const uint8_t* ClamUpperTable(int language) {
    return SetTable(kClamUpperTables, language);
}

const uint8_t* ClamLetterTypeTable(int language) {
    return SetTable(kClamLetterTypeTables, language);
}

const uint8_t* ClamBaseLetterTable(int language) {
    return SetTable(kClamBaseLetterTables, language);
}

const uint8_t* ClamAlphabetTable(int language) {
    return IsLanguage(language) ? kClamAlphabets[kClamLanguageAlphabet[language]].data() : nullptr;
}
