#include "locale_tag.h"

#include <gtest/gtest.h>

namespace vorbek {
namespace {

TEST(LanguageTag, FromLocaleNames) {
  EXPECT_EQ(language_tag_for_locale("en_US.UTF-8"), "en-US");
  EXPECT_EQ(language_tag_for_locale("de_AT.ISO-8859-15@euro"), "de-AT");
  EXPECT_EQ(language_tag_for_locale("sr_RS@latin"), "sr-RS");
  EXPECT_EQ(language_tag_for_locale("pt"), "pt");
  EXPECT_EQ(language_tag_for_locale("fil_PH"), "fil-PH");
  EXPECT_EQ(language_tag_for_locale("es_419"), "es-419");
  EXPECT_EQ(language_tag_for_locale("EN_gb"), "en-GB");
}

TEST(LanguageTag, TheCLocaleSpeaksAmericanEnglish) {
  EXPECT_EQ(language_tag_for_locale("C"), "en-US");
  EXPECT_EQ(language_tag_for_locale("C.UTF-8"), "en-US");
  EXPECT_EQ(language_tag_for_locale("POSIX"), "en-US");
}

TEST(LanguageTag, NothingForNonsense) {
  for (const char* locale : {"", "c", "e", "engl_US", "en_USA", "en-US",
                             "en_", "_US", "12_34"}) {
    EXPECT_EQ(language_tag_for_locale(locale), std::nullopt) << locale;
  }
}

}  // namespace
}  // namespace vorbek
