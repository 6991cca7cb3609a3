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
inline constexpr CliText kTxtPasswordAgain{"Password again: ", "再次输入密码："};
inline constexpr CliText kTxtPasswordsDiffer{"the two passwords differ", "两次输入的密码不一致"};
inline constexpr CliText kTxtDefaultPassword{"encrypting with the default password", "使用默认密码加密"};
inline constexpr CliText kTxtNotLoggedIn{"not logged in; run `korvex login`", "尚未登录；请运行 `korvex login`"};
inline constexpr CliText kTxtSessionExpired{"the service ended the session; run `korvex login`",
                                            "服务已结束会话；请运行 `korvex login`"};
inline constexpr CliText kTxtNoSuchRemote{"no such file or folder", "文件或文件夹不存在"};
inline constexpr CliText kTxtNotAFolder{"is not a folder", "不是文件夹"};
inline constexpr CliText kTxtAccessCodeOnly{"an access-code login can only upload into its folder",
                                            "上传码登录只能向其文件夹上传"};
inline constexpr CliText kTxtCodeCannotList{
    "an access-code login cannot see the folder's files; its owner sees what you upload",
    "上传码登录无法查看文件夹中的文件；文件夹所有者可以看到您上传的文件"};
inline constexpr CliText kTxtCodeCannotMkdir{"an access-code login can only upload files, not create folders",
                                             "上传码登录只能上传文件，不能创建文件夹"};
inline constexpr CliText kTxtSharesRootMkdir{
    "shares:/ holds the folders others share with you; create the folder inside one of them",
    "shares:/ 中是他人共享给您的文件夹；请在其中某个文件夹内创建"};
inline constexpr CliText kTxtLoggedInAs{"Logged in as", "已登录："};
inline constexpr CliText kTxtLoggedInWithCode{"Logged in with the access code: files can be uploaded to upload:/",
                                              "已使用上传码登录：可向 upload:/ 上传文件"};
inline constexpr CliText kTxtAccountNotSaved{"the account could not be saved; the login stands",
                                             "无法保存账户；登录仍然有效"};
inline constexpr CliText kTxtNoSavedAccount{"no saved account named", "没有已保存的账户："};
inline constexpr CliText kTxtAccessCodeSession{"Access-code session", "上传码会话"};
inline constexpr CliText kTxtLoginName{"Login name:", "登录名："};
inline constexpr CliText kTxtDisplayName{"Display name:", "显示名："};
inline constexpr CliText kTxtAccount{"Account:", "账户："};
inline constexpr CliText kTxtRootId{"Root folder id:", "根目录 ID："};
inline constexpr CliText kTxtSharesId{"Shared folders id:", "共享目录 ID："};
inline constexpr CliText kTxtSpaceLine{"%1% of %2% used (%3%%%)", "已使用 %1%，共 %2%（%3%%%）"};
inline constexpr CliText kTxtCreated{"created", "已创建"};
inline constexpr CliText kTxtViewNotReachable{"this session cannot reach that location",
                                              "当前会话无法访问该位置"};
inline constexpr CliText kTxtColumnName{"NAME", "名称"};
inline constexpr CliText kTxtColumnSize{"SIZE", "大小"};
inline constexpr CliText kTxtColumnModified{"MODIFIED", "修改时间"};
inline constexpr CliText kTxtColumnOwner{"OWNER", "所有者"};
inline constexpr CliText kTxtPartialMark{"[incomplete]", "[未完成]"};
inline constexpr CliText kTxtRootRefused{"not possible on a root folder", "不能对根目录执行此操作"};
inline constexpr CliText kTxtFolderExists{"The same directory name already exists", "已存在同名目录"};
inline constexpr CliText kTxtNeedSourceAndTarget{"give at least one source and the target folder",
                                                 "请至少指定一个源和目标文件夹"};
inline constexpr CliText kTxtCannotCopyFolder{"is a folder; only files can be copied", "是文件夹；只能复制文件"};
inline constexpr CliText kTxtBadNewName{"a new name must not be empty or contain \"/\"",
                                        "新名称不能为空或包含“/”"};

}  // namespace korvex::cli
