//===- foundation/PasswordBytes.cpp - The bytes a file password keys with -===//

#include "foundation/PasswordBytes.h"

#include <openssl/crypto.h>

#include "foundation/Registry.h"
#include "platform/TextConversion.h"

namespace korvex {
namespace {

constexpr std::string_view kCodePageValue = "PasswordCodePage";

}  // namespace

std::uint32_t ReadPasswordCodePage() {
  const std::uint32_t machine =
      ReadDword(Hive::LocalMachine, kProductKey, kCodePageValue, kDefaultPasswordCodePage);
  return ReadDword(Hive::CurrentUser, kProductKey, kCodePageValue, machine);
}

PasswordForms::PasswordForms(std::string_view password, std::uint32_t codePage) {
  std::string narrow;
  if (Utf8ToCodePage(password, codePage, narrow)) forms_.push_back(std::move(narrow));
  if (forms_.empty() || forms_.front() != password) forms_.emplace_back(password);
}

PasswordForms::~PasswordForms() {
  for (std::string& form : forms_) OPENSSL_cleanse(form.data(), form.size());
}

}  // namespace korvex
