//===- foundation/StringTable.cpp - User-interface texts ------------------===//

#include "foundation/StringTable.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace korvex {

namespace {

// Kept in ascending id order for the binary search below.
constexpr UiStringEntry kEntries[] = {
    {kIdsPrivilegeUpload, "Upload", "上传"},
    {kIdsPrivilegeDownload, "Download", "下载"},
    {kIdsPrivilegeUploadDownload, "Upload/Download", "上传/下载"},
    {kIdsPrivilegeAdministrator, "Administrator", "管理员"},
    {kIdsLoginNoHttpsPrefix,
     "Please do not type \"https://\" in front of the domain. Enter only the enterprise name, "
     "or the enterprise name followed by %1%.",
     "请不要在域名前输入“https://”，只需输入企业名称，或企业名称后加 %1%。"},
    {kIdsLoginDomainRequired,
     "The enterprise domain is required. Enter the enterprise name, or the enterprise name "
     "followed by %1%.",
     "请输入企业域名：企业名称，或企业名称后加 %1%。"},
    {kIdsLoginUserMissing, "Login failed, user don't exist", "登录失败，用户不存在"},
    {kIdsLoginNoService, "You have not buy or try any service for your account.",
     "您的账户尚未购买或试用任何服务。"},
    {kIdsLoginServiceExpired, "Your service has expired.", "您的服务已过期。"},
    {kIdsLoginNotActivated, "Your account has not been actived.", "您的账户尚未激活。"},
    {kIdsLoginFailed, "User name or password is error", "用户名或密码错误"},
    {kIdsLoginDomainHint, "Please input domain name...", "请输入域名..."},
    {kIdsLoginAccessCodeHint, "Please enter upload code", "请输入上传码"},
    {kIdsLoginNameTooLong, "The login name can be at most 100 characters long.",
     "登录名最多只能有 100 个字符。"},
    {kIdsLoginNoSession, "The service accepted the login but started no session. Please try again.",
     "服务接受了登录，但没有建立会话。请重试。"},
    {kIdsLoginNameRequired, "Please enter your login name", "请输入登录名"},
    {kIdsLoginCodeRequired, "Please enter upload code", "请输入上传码"},
    {kIdsRootMyCloud, "My Cloud", "我的云盘"},
    {kIdsRootDesktop, "Desktop", "桌面"},
    {kIdsRootVezoSpace, "VEZO Space", "VEZO 空间"},
    {kIdsRootMyBackup, "My Backup", "我的备份"},
    {kIdsRootMyFolder, "My Folder", "我的文件夹"},
    {kIdsRootShareForMe, "Share for Me", "与我共享"},
    {kIdsRootMyUploading, "My Uploading", "我的上传"},
    {kIdsRootMyDisk, "My Disk", "我的磁盘"},
    {kIdsLanguageSettingTitle, "Language Setting", "语言设置"},
    {kIdsLanguageChanged,
     "Language has been changed, please quit and restart the client to use setting, thanks!",
     "语言已更改，请退出并重新启动客户端以使设置生效，谢谢！"},
    {kIdsLanguageChinese, "Chinese", "中文"},
    {kIdsLanguageEnglish, "English", "英文"},
    {kIdsExitConfirm, "Exiting %s, continue?", "即将退出 %s，是否继续？"},
    {kIdsSetDefaultPassword, "Please set default password", "请设置默认密码"},
    {kIdsAutoRunFailed, "Set auto run failed!", "设置开机自动运行失败！"},
    {kIdsSettingsSetAside,
     "The settings file \"%1%\" could not be read and has been kept as \"%2%\". "
     "The settings were reset to their defaults.",
     "无法读取设置文件“%1%”，已将其保留为“%2%”。设置已恢复为默认值。"},
    {kIdsUpdateChecking, "Checking new version, please wait for a moment....",
     "正在检查新版本，请稍候...."},
    {kIdsUpdateFound, "Found new version: %s\nInformation: %s\n\nClick OK to start update",
     "发现新版本：%s\n更新说明：%s\n\n点击“确定”开始更新"},
    {kIdsUpdateSucceeded, "Update successfully", "更新成功"},
    {kIdsUpdateFailedCode, "Update failed: error code(0x%08X)", "更新失败：错误代码(0x%08X)"},
    {kIdsUpdateFailedPrivilege, "Update failed: no priviledge to overwrite old file.",
     "更新失败：没有覆盖旧文件的权限。"},
    {kIdsUpdateTitle, "%s - Automatical Update", "%s - 自动更新"},
    {kIdsPrivilegeNull, "Permission state NULL", "权限状态为空"},
};

constexpr bool IdsAscending() {
  for (std::size_t i = 1; i < std::size(kEntries); ++i)
    if (kEntries[i - 1].id >= kEntries[i].id) return false;
  return true;
}
static_assert(IdsAscending(), "string table ids must be unique and ascending");

}  // namespace

std::string_view UiString(unsigned id, LanguageId language) noexcept {
  const auto* end = std::end(kEntries);
  const auto* it = std::lower_bound(std::begin(kEntries), end, id,
                                    [](const UiStringEntry& e, unsigned v) { return e.id < v; });
  if (it == end || it->id != id) return {};
  return language == kLanguageChinese ? it->chinese : it->english;
}

std::string_view UiString(unsigned id) noexcept { return UiString(id, CurrentLanguage()); }

std::span<const UiStringEntry> UiStringEntries() noexcept { return kEntries; }

unsigned PrivilegeLabelId(std::uint32_t privilege) noexcept {
  if (privilege == 0xFFFF || privilege == 0xFBFB) return kIdsPrivilegeAdministrator;
  if ((privilege & 0x8E0) == 0x8E0) return kIdsPrivilegeUploadDownload;
  if ((privilege & 0x8C0) == 0x8C0) return kIdsPrivilegeUpload;
  if ((privilege & 0x8A0) == 0x8A0) return kIdsPrivilegeDownload;
  return kIdsPrivilegeNull;
}

}  // namespace korvex
