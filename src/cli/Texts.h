//===- cli/Texts.h - The command-line client's own messages -----*- C++ -*-===//
///
/// Texts that only korvex shows, in English and Simplified Chinese, picked
/// by the language of this run like every other user-visible text.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Language.h"

#include <string_view>

namespace korvex::cli {

struct CliText {
  std::string_view english;
  std::string_view chinese;
};

[[nodiscard]] inline std::string_view Text(const CliText& text) {
  return CurrentLanguage() == kLanguageChinese ? text.chinese : text.english;
}

inline constexpr CliText kTxtWrongDecryptPassword{"The password you entered to not match. Please re-enter.",
                                                 "您输入的密码不匹配，请重新输入。"};
inline constexpr CliText kTxtNotLockFile{"is not an encrypted file (its name does not end in \".lock\")",
                                         "不是加密文件（文件名不以“.lock”结尾）"};
inline constexpr CliText kTxtTargetExists{"exists already; use --overwrite to replace it",
                                          "已存在；使用 --overwrite 覆盖"};
inline constexpr CliText kTxtNoSuchLocalFile{"no such file", "文件不存在"};
inline constexpr CliText kTxtPasswordPrompt{"Password: ", "密码："};
inline constexpr CliText kTxtNoPassword{"no password given", "未输入密码"};
inline constexpr CliText kTxtNotLoggedIn{"not logged in; run `korvex login`", "尚未登录；请运行 `korvex login`"};
inline constexpr CliText kTxtSessionExpired{"the service ended the session; run `korvex login`",
                                            "服务已结束会话；请运行 `korvex login`"};
inline constexpr CliText kTxtNoSuchRemote{"no such file or folder", "文件或文件夹不存在"};
inline constexpr CliText kTxtNotAFolder{"is not a folder", "不是文件夹"};
inline constexpr CliText kTxtAccessCodeOnly{"an access-code login can only upload into its folder",
                                            "上传码登录只能向其文件夹上传"};

}  // namespace korvex::cli
