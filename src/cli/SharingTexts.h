//===- cli/SharingTexts.h - Messages of the sharing commands ----*- C++ -*-===//
#pragma once

#include "cli/Texts.h"

namespace korvex::cli {

inline constexpr CliText kTxtShared{"shared with", "已共享给"};
inline constexpr CliText kTxtShareChanged{"rights changed for", "已更改权限："};
inline constexpr CliText kTxtShareRemoved{"no longer shared with", "已取消共享："};
inline constexpr CliText kTxtShareCancelled{"is no longer shared", "已取消共享"};
inline constexpr CliText kTxtColumnUser{"USER", "用户"};
inline constexpr CliText kTxtColumnDomain{"DOMAIN", "域"};
inline constexpr CliText kTxtColumnRights{"RIGHTS", "权限"};
inline constexpr CliText kTxtColumnSince{"SINCE", "时间"};
inline constexpr CliText kTxtColumnEmail{"EMAIL", "电子邮件"};
inline constexpr CliText kTxtColumnId{"ID", "ID"};
inline constexpr CliText kTxtColumnCode{"CODE", "上传码"};
inline constexpr CliText kTxtColumnExpires{"EXPIRES", "过期时间"};
inline constexpr CliText kTxtColumnFolder{"FOLDER", "文件夹"};
inline constexpr CliText kTxtNotAFile{"is not a file", "不是文件"};
inline constexpr CliText kTxtLinkValidity{"Validity:", "有效期："};
inline constexpr CliText kTxtLinkDownloads{"Downloads:", "下载次数："};
inline constexpr CliText kTxtLinkDaysLeft{"Days left:", "剩余天数："};
inline constexpr CliText kTxtLinkNoExpiry{"never expires", "永不过期"};
inline constexpr CliText kTxtLinkNone{"has no link; run `korvex link create` first",
                                      "没有链接；请先运行 `korvex link create`"};
inline constexpr CliText kTxtMailSent{"mail sent to", "邮件已发送至"};
inline constexpr CliText kTxtDone{"done", "完成"};
inline constexpr CliText kTxtNoSuchCode{"no access code with this id in the folder",
                                       "该文件夹中没有此 ID 的上传码"};
inline constexpr CliText kTxtUploaded{"uploaded", "已上传"};
inline constexpr CliText kTxtNotARegularFile{"is not a regular file", "不是普通文件"};
inline constexpr CliText kTxtUnreadable{"cannot be read", "无法读取"};

}  // namespace korvex::cli
