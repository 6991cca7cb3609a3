//===- update/UpdateTexts.h - What the update and check show ----*- C++ -*-===//
///
/// The messages of the self-update and of the network check, in English and
/// Simplified Chinese. The GUI and korvex both show them, so they live with
/// the code that decides which one applies. Templates use printf syntax.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string_view>

#include "foundation/Language.h"

namespace korvex {

struct UpdateText {
  std::string_view english;
  std::string_view chinese;
};

[[nodiscard]] inline std::string_view Text(const UpdateText& text) {
  return CurrentLanguage() == kLanguageChinese ? text.chinese : text.english;
}

// Self-update; the title takes the product name.
inline constexpr UpdateText kTxtUpdateTitle{"%s - Automatical Update", "%s - 自动更新"};
inline constexpr UpdateText kTxtUpdateSucceeded{"Update successfully", "更新成功"};
inline constexpr UpdateText kTxtUpdateNoPrivilege{"Update failed: no priviledge to overwrite old file.",
                                                  "更新失败：没有权限覆盖旧文件。"};
inline constexpr UpdateText kTxtUpdateFailedCode{"Update failed: error code(0x%08X)", "更新失败：错误代码(0x%08X)"};
inline constexpr UpdateText kTxtCheckingVersion{"Checking new version, please wait for a moment....",
                                                "正在检查新版本，请稍候...."};
inline constexpr UpdateText kTxtFoundNewVersion{"Found new version: %s\nInformation: %s\n\nClick OK to start update",
                                                "发现新版本：%s\n信息：%s\n\n点击“确定”开始更新"};
inline constexpr UpdateText kTxtUpdateThroughPackages{
    "Version %s is available, but this copy is installed in a folder you cannot write to. "
    "Please update it with the system's package manager.",
    "有新版本 %s，但本程序安装在您无权写入的文件夹中。请使用系统的软件包管理器更新。"};
inline constexpr UpdateText kTxtNoUpdate{"You have the newest version (%s).", "您使用的已是最新版本（%s）。"};
inline constexpr UpdateText kTxtNewVersionAvailable{"New version %s is available (installed: %s).",
                                                    "有新版本 %s（已安装：%s）。"};
inline constexpr UpdateText kTxtDownloadingUpdate{"Downloading version %s...", "正在下载版本 %s..."};
inline constexpr UpdateText kTxtUpdateCheckFailed{"The update check failed", "检查更新失败"};
inline constexpr UpdateText kTxtUpdateDownloadFailed{"The download of the new version failed", "下载新版本失败"};

// A downloaded program or module that is refused: the first text takes the
// file's name and one of the reasons after it.
inline constexpr UpdateText kTxtDownloadRefused{
    "The downloaded %s was deleted because %s. The installed file is unchanged.",
    "下载的 %s 已被删除，因为%s。已安装的文件保持不变。"};
inline constexpr UpdateText kTxtRefusedNotAProgram{"it is not a program for this computer",
                                                   "它不是适用于本机的程序"};
inline constexpr UpdateText kTxtRefusedIncomplete{"it is incomplete (only %s bytes arrived)",
                                                  "它不完整（只收到 %s 字节）"};
inline constexpr UpdateText kTxtRefusedNoVersion{"it carries no version", "它不带版本号"};
inline constexpr UpdateText kTxtRefusedOtherVersion{"it is version %s, but version %s was published",
                                                    "它的版本是 %s，而发布的版本是 %s"};
inline constexpr UpdateText kTxtRefusedDigest{"its SHA-256 does not match the published one",
                                              "它的 SHA-256 与发布的不一致"};

// Network check.
inline constexpr UpdateText kTxtCheckingNetwork{"Checking network connection,please wait...",
                                                "正在检查网络连接，请稍候..."};
inline constexpr UpdateText kTxtCheckCancelled{"You canceled the check progress.", "您取消了检查。"};
inline constexpr UpdateText kTxtCheckLoadFailed{"Load check program failed.", "加载检查程序失败。"};
inline constexpr UpdateText kTxtCheckRunFailed{"Run check program failed.", "运行检查程序失败。"};
inline constexpr UpdateText kTxtConnectionOk{"Your connection is OK.", "您的网络连接正常。"};
inline constexpr UpdateText kTxtConnectionProblem{"The network check found a problem (0x%08X):",
                                                  "网络检查发现问题（0x%08X）："};
inline constexpr UpdateText kTxtCancel{"Cancel", "取消"};
inline constexpr UpdateText kTxtOk{"Ok", "确定"};

}  // namespace korvex
