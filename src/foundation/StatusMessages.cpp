//===- foundation/StatusMessages.cpp - User texts for status codes --------===//

#include "foundation/StatusMessages.h"

#include <cstdint>
#include <string_view>

namespace korvex {

namespace {

struct Entry {
  std::int64_t code;  // bit pattern as printed, or a small negative service state
  std::string_view english;
  std::string_view chinese;
};

constexpr std::string_view kDirectoryFailed = "Directory operation failed";
constexpr std::string_view kDirectoryFailedZh = "目录操作失败";
constexpr std::string_view kUnknownZh = "未知错误类型";

// Added in this order; where a code appears twice the later text wins.
constexpr Entry kEntries[] = {
    {-3, "Move to the same directory", "不能移动到同一目录"},
    {-4, "File existed", "文件已存在"},
    {-6, "Cannot move file.A file with the same name is being used.", "无法移动文件，同名文件正在使用中。"},
    {0x80071B58, "Service file could not be found,please retransmit after deleting the task!",
     "找不到服务器上的文件，请删除任务后重新传输！"},
    {0x80071B59, "Create file failed.Device out of space or the target directory is read only",
     "创建文件失败，磁盘空间不足或目标目录为只读"},
    {0x80071B5A, "Commit file failed.File not found or network exception", "提交文件失败，文件不存在或网络异常"},
    {0x80071F41, "Open file failed.Target file does not exist or it is being used",
     "打开文件失败，目标文件不存在或正在使用中"},
    {0x80071F42, "Write file failed.Target file does not exist or it is being used",
     "写入文件失败，目标文件不存在或正在使用中"},
    {0x80071F43, "Download file failed.No file blocks in the right size returned by the server",
     "下载文件失败，服务器没有返回大小正确的文件块"},
    {0x800704BC, "User does not exist", "用户不存在"},
    {0x8007138A, "The number of sharing has reached the limit, no more sharing can be set",
     "共享数量已达上限，不能再设置共享"},
    {0x80071389, "You can not add yourself as a share-user", "不能将自己添加为共享用户"},
    {0x8007D58F,
     "You have not filled in any authentication information to your account.Please log on to our "
     "website to fill it in",
     "您的账户尚未填写任何认证信息，请登录网站填写"},
    {0x80070BB8, "NO resource ID", "没有资源 ID"},
    {0x80070BB9, "Resource does not exist", "资源不存在"},
    {0x80070BBA, "Delete resource failed", "删除资源失败"},
    {0x80070BBB, "Following resource ID not found", "找不到以下资源 ID"},
    {0x80070BBC, "The file name is not valid", "文件名无效"},
    {0x80070BBD, "Memo operation failed", "备注操作失败"},
    {0x80070BBE, "Memo cannot be empty", "备注不能为空"},
    {0x80070BBF, "Memo cannot exceed 255 characters in length", "备注长度不能超过 255 个字符"},
    {0x80070BC0, "Rename failed", "重命名失败"},
    {0x80070BC1, "Filename already exists, please enter another one", "文件名已存在，请输入其他名称"},
    {0x80070BC2, "Not enough space", "空间不足"},
    {0x80070BC3, "Illegal upload request", "非法的上传请求"},
    {0x80070BC4, "Import the file into the database failed", "文件导入数据库失败"},
    {0x80070BC5, "No uploaded file available for download", "没有可供下载的已上传文件"},
    {0x80070BC6, "Clean failed", "清理失败"},
    {0x80070BC7, "Illegal download request", "非法的下载请求"},
    {0x80070BC8, "File is not found", "找不到文件"},
    {0x80070BC9, "Cannot Move File:the source resource and the target resource are the same",
     "无法移动文件：源资源与目标资源相同"},
    {0x80070BCA, "A file with the same name is being uploaded to the target directory,move failed",
     "目标目录中正在上传同名文件，移动失败"},
    {0x80070BCB, "The file exceeds the size limit for a single upload", "上传的文件超过了单个文件的大小限制"},
    {0x80070BCC, "The uploaded file could not be null", "上传的文件不能为空"},
    {0x80070BCD, "No permission to create a new file", "没有新建文件的权限"},
    {0x800703E9, "Please enter your email address", "请输入您的电子邮件地址"},
    {0x800703EA, "The format of the e-mail address is incorrect", "电子邮件地址格式不正确"},
    {0x800703EB, "The login e-mail address could not exceed 100 characters", "登录电子邮件地址不能超过 100 个字符"},
    {0x800703EC, "Please enter the password", "请输入密码"},
    {0x800703ED, "Password must be at least 6 characters", "密码至少需要 6 个字符"},
    {0x800703EE, "Please enter your nickname", "请输入您的昵称"},
    {0x800703EF, "Please use 1 to 6 Chinese charaters or 3 to 18 english letters for your nickname",
     "昵称请使用 1 到 6 个汉字或 3 到 18 个英文字母"},
    {0x800703F0, "Please enter the correct email address", "请输入正确的电子邮件地址"},
    {0x800703F1, "The email address could not exceed 100 characters", "电子邮件地址不能超过 100 个字符"},
    {0x800703F2, "Please use 5 to 255 characters for your security question", "安全问题请使用 5 到 255 个字符"},
    {0x800703F3, "Please use 2 to 255 characters for your answer", "答案请使用 2 到 255 个字符"},
    {0x800703F4, "This user name already exists", "该用户名已存在"},
    {0x800703F6, "This nickname already exists", "该昵称已存在"},
    {0x800703F5, "Registration failed.Unknown Error", "注册失败，未知错误"},
    {0x800704B1, "Please enter username", "请输入用户名"},
    {0x800704B2, "Please enter the password", "请输入密码"},
    {0x800704B3, "Either your password or your user name is incorrect", "用户名或密码不正确"},
    {0x800704BB, "Please enter your login name", "请输入登录名"},
    {0x800704BC, "User name does not exist", "用户名不存在"},
    {0x800704BD, "Incorrect answer to your security question", "安全问题的答案不正确"},
    {0x8007028C, "The user has been frozen", "该用户已被冻结"},
    {0x80070515, "Please enter your old password", "请输入旧密码"},
    {0x80070516, "Please enter your new password", "请输入新密码"},
    {0x80070517, "The new password must be at least 6 characters, but not more than 32 characters",
     "新密码长度须为 6 到 32 个字符"},
    {0x80070518, "Incorrect answer to your security question", "安全问题的答案不正确"},
    {0x80070519, "Old password is incorrect", "旧密码不正确"},
    {0x8007051F, "Please enter the password", "请输入密码"},
    {0x80070520, "Please enter your new security question", "请输入新的安全问题"},
    {0x80070521,
     "The answer to new security question must be at least 6 characters, but not more than 250 "
     "characters",
     "新安全问题的答案长度须为 6 到 250 个字符"},
    {0x80070522, "Please enter your answer to your new security question", "请输入新安全问题的答案"},
    {0x80070523,
     "The answer to new security question must be at least 6 characters, but not more than 250 "
     "characters",
     "新安全问题的答案长度须为 6 到 250 个字符"},
    {0x80070529, "Please enter the correct email address", "请输入正确的电子邮件地址"},
    {0x8007052A, "The email address could not exceed 100 characters", "电子邮件地址不能超过 100 个字符"},
    {0x8007052B, "Invalid MSN ID", "无效的 MSN 账号"},
    {0x8007052C, "The MSN could not exceed 100 characters", "MSN 账号不能超过 100 个字符"},
    {0x8007052D, "The personal introduction could not exceed 255 characters in length",
     "个人简介长度不能超过 255 个字符"},
    {0x800707D1, "The directory type unspecified", "未指定目录类型"},
    {0x800707D2, "The directory does not exist", "目录不存在"},
    {0x800707D3, "Target folder does not exist", "目标文件夹不存在"},
    {0x800707D4, "Please enter new directory name", "请输入新目录名"},
    {0x800707D5, "No permission to access this directory", "没有访问此目录的权限"},
    {0x800707D6, "The same directory name already exists", "已存在同名目录"},
    // The service names no reason for these; an empty text would leave the
    // user with a blank message box.
    {0x800707D7, kDirectoryFailed, kDirectoryFailedZh},
    {0x800707D8, kDirectoryFailed, kDirectoryFailedZh},
    {0x800707D9, kDirectoryFailed, kDirectoryFailedZh},
    {0x800707DA, kDirectoryFailed, kDirectoryFailedZh},
    {0x800707DB, kDirectoryFailed, kDirectoryFailedZh},
    {0x800707DC, kDirectoryFailed, kDirectoryFailedZh},
    {0x800707DD, kDirectoryFailed, kDirectoryFailedZh},
    {0x800707DE, "No permissions to create directory", "没有创建目录的权限"},
    {0x8007D58C, "The services has expired. Please make your payment in time.", "服务已过期，请及时续费。"},
    {0x8007D58D, "Your account has not yet been activated.", "您的账户尚未激活。"},
    {0x8007D58A, "The user does not exist.", "该用户不存在。"},
    {0x80071771, "External links generated by the file already exists.", "该文件的外链已存在。"},
    {0x800717D5, "This code is invalid", "此访问码无效"},
    {0x80071772, "The number of the external links you allocated exceeds the limit.", "您分配的外链数量已超过上限。"},
    {0x80071773, "You are only allowed to generate an external link on your own file.", "您只能为自己的文件生成外链。"},
    {0x80070FA1, "Your request for joining in the circle could not exceed 25 characters in length.",
     "加入圈子的申请长度不能超过 25 个字符。"},
    {0x80070FA2, "The circle does not exist.", "该圈子不存在。"},
    {0x80070FA3, "You are already a member of this circle.", "您已经是该圈子的成员。"},
    {0x80070FA4, "The request was not found.", "找不到该申请。"},
    {0x80070FA5, "You are not a member of this circle.", "您不是该圈子的成员。"},
    {0x80070FA6, "Only the owner of the circle can do this.", "只有圈子的创建者才能进行此操作。"},
    {-1, "Not enough space, please buy more space", "空间不足，请购买更多空间"},
    {-2, "The file exceeds the size limit for a single upload", "上传的文件超过了单个文件的大小限制"},
    {-3, "Error file path", "文件路径错误"},
    {-4, "The file already exists", "该文件已存在"},
    {0x804F0064, "Please keep making the connection request", "请继续发送连接请求"},
    {0x804F0065, "The protocol transmitted through the new header server has been transformed",
     "服务器已按新的头信息切换协议"},
    {0x804F00C8, "Request end", "请求完成"},
    {0x804F00C9, "An object has been created due to a new URI", "已按新的 URI 创建对象"},
    {0x804F00CA, "Sync complete(TBS)", "同步完成（待处理）"},
    {0x804F00CB, "Partially completed", "部分完成"},
    {0x804F00CC, "No feedback", "无返回内容"},
    {0x804F00CD, "Request completed while the form was emptied", "请求已完成，表单已清空"},
    {0x804F00CE, "The get requests have been partially overwhelmed", "GET 请求已部分完成"},
    {0x804F00CF, "WebDAV multi-state", "WebDAV 多状态"},
    {0x804F012C, "The server does not know what to provide for feedback", "服务器无法确定要返回的内容"},
    {0x804F012D, "The object has been removed permanently", "对象已被永久移除"},
    {0x804F012E, "Redirect", "重定向"},
    {0x804F012F, "Redirect to new access method", "重定向到新的访问方式"},
    {0x804F0130, "Unmodified", "未修改"},
    {0x804F0131, "Use proxy", "使用代理"},
    {0x804F0133, "HTTP/1.1: keep same verb", "HTTP/1.1：保持相同请求方法"},
    {0x804F0190, "Syntax analytical error", "语法解析错误"},
    {0x804F0191, "Access denied", "拒绝访问"},
    {0x804F0192, "Payment needed", "需要付费"},
    {0x804F0193, "Server rejected the connection,please check your network conditions",
     "服务器拒绝连接，请检查您的网络状况"},
    {0x804F0194, "Object not found", "找不到对象"},
    {0x804F0195, "Unallowed method", "不允许的方法"},
    {0x804F0196, "No receivable feedback for the client", "没有客户端可接受的返回内容"},
    {0x804F0197, "The proxy server needs certification", "代理服务器需要身份验证"},
    {0x804F0198, "The server timed out waiting for the request", "服务器等待请求超时"},
    {0x804F0199, "The user needs to submit more information", "需要提交更多信息"},
    {0x804F019A, "The requested resource is unavailable", "请求的资源不可用"},
    {0x804F019B, "The request in that length has been denied by server", "服务器拒绝了该长度的请求"},
    {0x804F019C, "Preprocessing error", "前提条件错误"},
    {0x804F019D, "Request too large", "请求过大"},
    {0x804F019E, "Requested URI too large", "请求的 URI 过长"},
    {0x804F019F, "Unsupported media file", "不支持的媒体类型"},
    {0x804F01C1, "Retry", "重试"},
    {0x804F01F4, "Internal server error,abnormal network status", "服务器内部错误，网络状态异常"},
    {0x804F01F5, "The request is not supported", "不支持该请求"},
    {0x804F01F6, "The gateway returned the error", "网关返回错误"},
    {0x804F01F7, "Service unavailable", "服务不可用"},
    {0x804F01F8, "The server timed out waiting", "服务器等待超时"},
    {0x804F01F9, "Version not supported", "不支持的版本"},
    {0x804F2EE1, "Expired, no longer in use", "已过期，不再使用"},
    {0x804F2EE2, "HTTP timed out", "HTTP 超时"},
    {0x804F2EE4, "HTTP internal error,abnormal network status", "HTTP 内部错误，网络状态异常"},
    {0x804F2EE5, "Illegl URL", "非法的 URL"},
    {0x804F2EE6, "HTTP unrecognized tag", "HTTP 无法识别的协议"},
    {0x804F2EE7, "Network unreachable,please check your network status", "网络不可达，请检查您的网络状态"},
    {0x804F2EE9, "Illegal options", "非法的选项"},
    {0x804F2EEB, "The option could not be located", "找不到该选项"},
    {0x804F2EEC, "HTTP shutdown", "HTTP 已关闭"},
    {0x804F2EEF, "Login failure", "登录失败"},
    {0x804F2EF1, "HTTP process cancelled", "HTTP 操作已取消"},
    {0x804F2EF2, "HTTP wrong operation type", "HTTP 操作类型错误"},
    {0x804F2EF3, "HTTP wrong operation status", "HTTP 操作状态错误"},
    {0x804F2EFD, "Server connection error, please check your network status", "连接服务器出错，请检查您的网络状态"},
    {0x804F2EFE, "Server connection error, please check your network status", "连接服务器出错，请检查您的网络状态"},
    {0x804F2F00, "HTTP resend the request", "HTTP 需要重新发送请求"},
    {0x804F2F0C, "HTTP the client needs \"auth\" to authentication", "HTTP 客户端需要进行身份验证"},
};

}  // namespace

StatusMessages::StatusMessages(LanguageId language) : language_(language) {
  messages_.reserve(std::size(kEntries));
  for (const Entry& e : kEntries) {
    const std::string_view text = language == kLanguageChinese ? e.chinese : e.english;
    messages_.insert_or_assign(static_cast<HRESULT>(static_cast<std::uint32_t>(e.code)),
                               std::string(text));
  }
}

const StatusMessages& StatusMessages::Get() {
  // C++ guarantees one construction even when two threads arrive first.
  static const StatusMessages instance(CurrentLanguage());
  return instance;
}

bool StatusMessages::Lookup(HRESULT status, std::string& text) const {
  const auto it = messages_.find(status);
  if (it == messages_.end()) {
    text = language_ == kLanguageChinese ? kUnknownZh : kUnknown;
    return false;
  }
  text = it->second;
  return true;
}

}  // namespace korvex
