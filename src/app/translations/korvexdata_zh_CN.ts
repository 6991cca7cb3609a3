<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CBackupCommands</name>
    <message>
        <source>New Backup</source>
        <translation>新建备份</translation>
    </message>
    <message>
        <source>Cancel Backup</source>
        <translation>取消备份</translation>
    </message>
    <message>
        <source>Backup</source>
        <translation>备份</translation>
    </message>
    <message>
        <source>&amp;Backup</source>
        <translation>备份(&amp;B)</translation>
    </message>
    <message>
        <source>Backups of this account are run by %1 (process %2).</source>
        <translation>此账户的备份由 %1（进程 %2）执行。</translation>
    </message>
    <message>
        <source>This window runs the backups of this account now.</source>
        <translation>此窗口现在执行此账户的备份。</translation>
    </message>
    <message>
        <source>Choose a local folder first.</source>
        <translation>请先选择一个本地文件夹。</translation>
    </message>
    <message>
        <source>Back &quot;%1&quot; up every day into this cloud folder
(made at the first backup when missing):</source>
        <translation>每天将“%1”备份到此云端文件夹
（不存在时在首次备份时创建）：</translation>
    </message>
    <message>
        <source>Illegal path or the path doen not exist</source>
        <translation>路径非法或路径不存在</translation>
    </message>
    <message>
        <source>A backup directory with the same name already exists, you can not set again.</source>
        <translation>已存在同名的备份目录，不能重复设置。</translation>
    </message>
    <message>
        <source>The path is too long for a backup folder.</source>
        <translation>路径太长，不能作为备份文件夹。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is backed up into &quot;%2&quot; every day.</source>
        <translation>“%1”每天备份到“%2”。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a backup folder.</source>
        <translation>“%1”不是备份文件夹。</translation>
    </message>
    <message>
        <source>Stop backing up &quot;%1&quot;?
The files already in the cloud stay there.</source>
        <translation>停止备份“%1”吗？
已在云端的文件会保留。</translation>
    </message>
    <message>
        <source>There is no active backup folder. Choose a folder and use &quot;New Backup&quot;.</source>
        <translation>没有启用的备份文件夹。请选择一个文件夹并使用“新建备份”。</translation>
    </message>
    <message>
        <source>The backup could not be started (error 0x%1).</source>
        <translation>无法开始备份（错误 0x%1）。</translation>
    </message>
    <message>
        <source>The backup has started; the transfer list shows its progress.</source>
        <translation>备份已开始，传输列表中显示其进度。</translation>
    </message>
    <message>
        <source>Backups of this account are run by %1 (process %2); it was asked to back up now.</source>
        <translation>此账户的备份由 %1（进程 %2）执行，已请求其立即备份。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is an automatic backup directory, Are you sure you want to delete it?</source>
        <translation>“%1”是自动备份目录，确定要删除吗？</translation>
    </message>
    <message>
        <source>The directory has automatic backup directory under it,Are you sure you want to delete it?</source>
        <translation>该目录下有自动备份目录，确定要删除吗？</translation>
    </message>
    <message>
        <source>The cloud folder could not be looked up (error 0x%1).</source>
        <translation>无法查找该云端文件夹（错误 0x%1）。</translation>
    </message>
    <message>
        <source>This cloud folder lies inside the cloud folder of another backup, or holds one.</source>
        <translation>该云端文件夹位于另一个备份的云端文件夹之内，或包含另一个备份的云端文件夹。</translation>
    </message>
</context>
<context>
    <name>CBackupOptions</name>
    <message>
        <source>Backuping Cycle</source>
        <translation>备份周期</translation>
    </message>
    <message>
        <source>Every Day</source>
        <translation>每天</translation>
    </message>
    <message>
        <source>(not chosen yet: the first backup picks a time)</source>
        <translation>（尚未选择：首次备份时自动选定时间）</translation>
    </message>
    <message>
        <source>Local Path</source>
        <translation>本地路径</translation>
    </message>
    <message>
        <source>Net URI</source>
        <translation>网络路径</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>移除</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>已暂停</translation>
    </message>
    <message>
        <source>Active</source>
        <translation>启用</translation>
    </message>
    <message>
        <source>The backup time could not be saved.</source>
        <translation>无法保存备份时间。</translation>
    </message>
    <message>
        <source>The backup folder &quot;%1&quot; could not be removed.</source>
        <translation>无法移除备份文件夹“%1”。</translation>
    </message>
</context>
<context>
    <name>CCloudCommands</name>
    <message>
        <source>Cu&amp;t</source>
        <translation>剪切(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>复制(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>粘贴(&amp;P)</translation>
    </message>
    <message>
        <source>Create Link</source>
        <translation>创建链接</translation>
    </message>
    <message>
        <source>Manage Link</source>
        <translation>管理链接</translation>
    </message>
    <message>
        <source>Send Link</source>
        <translation>发送链接</translation>
    </message>
    <message>
        <source>Manage &amp;Upload Code</source>
        <translation>管理上传码(&amp;U)</translation>
    </message>
    <message>
        <source>&amp;Share Folder...</source>
        <translation>共享文件夹(&amp;S)...</translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) cut; paste them into another folder.</source>
        <translation>
            <numerusform>已剪切 %n 项；请粘贴到另一个文件夹。</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) copied; paste them into another folder.</source>
        <translation>
            <numerusform>已复制 %n 项；请粘贴到另一个文件夹。</numerusform>
        </translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>粘贴</translation>
    </message>
    <message>
        <source>&quot;%1&quot; exists in this folder already. Replace it?</source>
        <translation>此文件夹中已存在“%1”。要替换吗？</translation>
    </message>
    <message>
        <source>Open another folder to paste into.</source>
        <translation>请打开另一个文件夹再粘贴。</translation>
    </message>
    <message>
        <source>Moving</source>
        <translation>正在移动</translation>
    </message>
    <message>
        <source>Copying</source>
        <translation>正在复制</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>复制</translation>
    </message>
    <message>
        <source>Folders can be moved but not copied: %1</source>
        <translation>文件夹只能移动，不能复制：%1</translation>
    </message>
    <message>
        <source>Select one file for this command.</source>
        <translation>请为此命令选择一个文件。</translation>
    </message>
    <message>
        <source>Select one folder for this command.</source>
        <translation>请为此命令选择一个文件夹。</translation>
    </message>
    <message>
        <source>Creating a link</source>
        <translation>正在创建链接</translation>
    </message>
    <message>
        <source>The download link of &quot;%1&quot; (copied to the clipboard, valid for 7 days):
%2</source>
        <translation>“%1”的下载链接（已复制到剪贴板，7 天内有效）：
%2</translation>
    </message>
    <message>
        <source>Reading the link</source>
        <translation>正在读取链接</translation>
    </message>
    <message>
        <source>Email(Separated by a comma)</source>
        <translation>电子邮件（以逗号分隔）</translation>
    </message>
    <message>
        <source>Sending the link</source>
        <translation>正在发送链接</translation>
    </message>
    <message>
        <source>The link of &quot;%1&quot; was sent to %2.</source>
        <translation>“%1”的链接已发送给 %2。</translation>
    </message>
    <message>
        <source>Manage Upload Code</source>
        <translation>管理上传码</translation>
    </message>
    <message>
        <source>Listing the upload codes</source>
        <translation>正在列出上传码</translation>
    </message>
    <message>
        <source>Share Folder</source>
        <translation>共享文件夹</translation>
    </message>
    <message>
        <source>&amp;Preview</source>
        <translation>预览(&amp;P)</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>预览</translation>
    </message>
    <message>
        <source>This folder does not allow it: your rights here are not enough.</source>
        <translation>此文件夹不允许此操作：您在这里的权限不足。</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>剪切</translation>
    </message>
</context>
<context>
    <name>CConflictDlg</name>
    <message>
        <source>Name Conflict</source>
        <translation>名称冲突</translation>
    </message>
    <message>
        <source>The cloud folder &quot;%2&quot; already holds a file named &quot;%1&quot;.</source>
        <translation>云端文件夹“%2”中已有名为“%1”的文件。</translation>
    </message>
    <message>
        <source>The local folder &quot;%2&quot; already holds a file named &quot;%1&quot;.</source>
        <translation>本地文件夹“%2”中已有名为“%1”的文件。</translation>
    </message>
    <message>
        <source>What should be done with the file being transferred?</source>
        <translation>正在传输的文件要如何处理？</translation>
    </message>
    <message>
        <source>Do this for &amp;all conflicts</source>
        <translation>对所有冲突执行此操作(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Replace</source>
        <translation>替换(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Keep Both</source>
        <translation>保留两者(&amp;K)</translation>
    </message>
    <message>
        <source>&amp;Skip</source>
        <translation>跳过(&amp;S)</translation>
    </message>
    <message>
        <source>The file is stored as &quot;%1&quot;</source>
        <translation>文件将保存为“%1”</translation>
    </message>
</context>
<context>
    <name>CCloudFileOpener</name>
    <message>
        <source>Open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be downloaded from here.</source>
        <translation>无法从这里下载“%1”。</translation>
    </message>
    <message>
        <source>No temporary folder for &quot;%1&quot;: %2</source>
        <translation>无法为“%1”建立临时文件夹：%2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be downloaded (error %2).</source>
        <translation>“%1”无法下载（错误 %2）。</translation>
    </message>
    <message>
        <source>Downloading &quot;%1&quot; to open it...</source>
        <translation>正在下载“%1”以便打开……</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be downloaded: %2</source>
        <translation>“%1”无法下载：%2</translation>
    </message>
    <message>
        <source>No application opens &quot;%1&quot; (downloaded to %2).</source>
        <translation>没有可打开“%1”的程序（已下载到 %2）。</translation>
    </message>
</context>
<context>
    <name>CDataStoreDlgBase</name>
    <message>
        <source>Sorting</source>
        <translation>正在排序</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>后退</translation>
    </message>
    <message>
        <source>New Folder</source>
        <translation>新建文件夹</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <source>New &amp;Folder</source>
        <translation>新建文件夹(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Rename</source>
        <translation>重命名(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>删除(&amp;D)</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>重命名</translation>
    </message>
    <message>
        <source>%1 failed (error 0x%2).</source>
        <translation>%1失败（错误 0x%2）。</translation>
    </message>
    <message>
        <source>%1 cancelled.</source>
        <translation>%1已取消。</translation>
    </message>
    <message>
        <source>%1 failed: %2</source>
        <translation>%1失败：%2</translation>
    </message>
    <message>
        <source>Listing</source>
        <translation>正在列出</translation>
    </message>
    <message>
        <source>Opening &quot;%1&quot;</source>
        <translation>正在打开“%1”</translation>
    </message>
    <message>
        <source>Refreshing</source>
        <translation>正在刷新</translation>
    </message>
    <message>
        <source>Creating a folder</source>
        <translation>正在创建文件夹</translation>
    </message>
    <message>
        <source>Delete File(s)</source>
        <translation>删除文件</translation>
    </message>
    <message>
        <source>Are you sure you want to delete these %1 entries?</source>
        <translation>确定要删除这 %1 项吗？</translation>
    </message>
    <message>
        <source>Delete Folder</source>
        <translation>删除文件夹</translation>
    </message>
    <message>
        <source>Delete File</source>
        <translation>删除文件</translation>
    </message>
    <message>
        <source>Are you sure you want to delete &quot;%1&quot;?</source>
        <translation>确定要删除“%1”吗？</translation>
    </message>
    <message>
        <source>Deleting</source>
        <translation>正在删除</translation>
    </message>
    <message>
        <source>New folders cannot be made here.</source>
        <translation>不能在这里新建文件夹。</translation>
    </message>
    <message>
        <source>This cannot be renamed here.</source>
        <translation>不能在这里重命名。</translation>
    </message>
    <message>
        <source>You have no right to delete this.</source>
        <translation>您没有删除它的权限。</translation>
    </message>
    <message>
        <source>This deletes permanently: it cannot be undone.</source>
        <translation>此删除是永久性的，无法撤销。</translation>
    </message>
</context>
<context>
    <name>CLinkDlg</name>
    <message>
        <source>Manage Link - %1</source>
        <translation>管理链接 - %1</translation>
    </message>
    <message>
        <source>Copy Link</source>
        <translation>复制链接</translation>
    </message>
    <message>
        <source>Change Validity...</source>
        <translation>更改有效期...</translation>
    </message>
    <message>
        <source>Stop Link</source>
        <translation>停止链接</translation>
    </message>
    <message>
        <source>no expiry</source>
        <translation>永久有效</translation>
    </message>
    <message>
        <source>Link:	%1
Validity:	%2
Downloads:	%3
Days left:	%4</source>
        <translation>链接：	%1
有效期：	%2
下载次数：	%3
剩余天数：	%4</translation>
    </message>
    <message>
        <source>Change Validity</source>
        <translation>更改有效期</translation>
    </message>
    <message>
        <source>Valid for days:</source>
        <translation>有效天数：</translation>
    </message>
    <message>
        <source>The service refused the change (error 0x%1).</source>
        <translation>服务拒绝了此更改（错误 0x%1）。</translation>
    </message>
    <message>
        <source>Nobody will be able to download the file through this link. Stop it?</source>
        <translation>停止后将无人能通过此链接下载该文件。要停止吗？</translation>
    </message>
    <message>
        <source>The service refused to stop the link (error 0x%1).</source>
        <translation>服务拒绝停止此链接（错误 0x%1）。</translation>
    </message>
    <message numerus="yes">
        <source>%n day(s)</source>
        <translation>
            <numerusform>%n 天</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CLocalDriveDlg</name>
    <message>
        <source>Opening &quot;%1&quot;</source>
        <translation>正在打开“%1”</translation>
    </message>
    <message>
        <source>Local:</source>
        <translation>本地：</translation>
    </message>
    <message>
        <source>Home folder (%1) and drives</source>
        <translation>主文件夹（%1）和驱动器</translation>
    </message>
</context>
<context>
    <name>CLoginDlg</name>
    <message>
        <source>KorvexData SMB - Login</source>
        <translation>KorvexData SMB - 登录</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>账号</translation>
    </message>
    <message>
        <source>Access Code</source>
        <translation>访问码</translation>
    </message>
    <message>
        <source>Login name:</source>
        <translation>登录名：</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>密码：</translation>
    </message>
    <message>
        <source>Domain:</source>
        <translation>域名：</translation>
    </message>
    <message>
        <source>Remember account</source>
        <translation>记住账号</translation>
    </message>
    <message>
        <source>Remember password</source>
        <translation>记住密码</translation>
    </message>
    <message>
        <source>Log in automatically</source>
        <translation>自动登录</translation>
    </message>
    <message>
        <source>Access code:</source>
        <translation>访问码：</translation>
    </message>
    <message>
        <source>Login</source>
        <translation>登录</translation>
    </message>
    <message>
        <source>Logging in...</source>
        <translation>正在登录...</translation>
    </message>
    <message>
        <source>Choose a saved account to delete.</source>
        <translation>请选择要删除的已保存账号。</translation>
    </message>
    <message>
        <source>Delete Account</source>
        <translation>删除账号</translation>
    </message>
    <message>
        <source>Delete the saved account &quot;%1&quot; from this computer?</source>
        <translation>从这台电脑上删除已保存的账号“%1”吗？</translation>
    </message>
    <message>
        <source>The saved account could not be deleted (error 0x%1).</source>
        <translation>已保存的账号无法删除（错误 0x%1）。</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Delete the saved account from this computer</source>
        <translation>从这台电脑上删除已保存的账号</translation>
    </message>
</context>
<context>
    <name>CMainDlg</name>
    <message>
        <source>KorvexData SMB</source>
        <translation>KorvexData SMB</translation>
    </message>
    <message>
        <source>KorvexData SMB - %1</source>
        <translation>KorvexData SMB - %1</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>退出(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>编辑(&amp;E)</translation>
    </message>
    <message>
        <source>New &amp;Folder</source>
        <translation>新建文件夹(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Rename</source>
        <translation>重命名(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>删除(&amp;D)</translation>
    </message>
    <message>
        <source>The cloud disk could not be opened</source>
        <translation>无法打开云盘</translation>
    </message>
    <message>
        <source>The local folders could not be listed</source>
        <translation>无法列出本地文件夹</translation>
    </message>
    <message>
        <source>Transfers cannot run</source>
        <translation>无法进行传输</translation>
    </message>
    <message>
        <source>Cu&amp;t</source>
        <translation>剪切(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>复制(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>粘贴(&amp;P)</translation>
    </message>
    <message>
        <source>Commands</source>
        <translation>命令</translation>
    </message>
    <message>
        <source>&amp;Transfer</source>
        <translation>传输(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Upload</source>
        <translation>上传(&amp;U)</translation>
    </message>
    <message>
        <source>&amp;Encrypted Upload</source>
        <translation>加密上传(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Download</source>
        <translation>下载(&amp;D)</translation>
    </message>
    <message>
        <source>Download &amp;To...</source>
        <translation>下载到(&amp;T)...</translation>
    </message>
    <message>
        <source>&amp;Share</source>
        <translation>共享(&amp;S)</translation>
    </message>
    <message>
        <source>Manage &amp;Upload Code</source>
        <translation>管理上传码(&amp;U)</translation>
    </message>
    <message>
        <source>&amp;Share Folder...</source>
        <translation>共享文件夹(&amp;S)...</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>查看(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Cloud Pane</source>
        <translation>云端窗格(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Local Pane</source>
        <translation>本地窗格(&amp;L)</translation>
    </message>
    <message>
        <source>Tool</source>
        <translation>工具</translation>
    </message>
    <message>
        <source>Transfer</source>
        <translation>传输</translation>
    </message>
    <message>
        <source>Backups cannot run</source>
        <translation>备份无法运行</translation>
    </message>
    <message>
        <source>The backup of %1 failed: %2</source>
        <translation>%1 的备份失败：%2</translation>
    </message>
    <message numerus="yes">
        <source>The backup of %1 skipped %n file(s)</source>
        <translation>
            <numerusform>%1 的备份跳过了 %n 个文件</numerusform>
        </translation>
    </message>
    <message>
        <source>Backup failed</source>
        <translation>备份失败</translation>
    </message>
    <message>
        <source>Backup skipped files</source>
        <translation>备份跳过了部分文件</translation>
    </message>
    <message>
        <source>Waiting for %1 (pid %2), which runs this account&apos;s transfers</source>
        <translation>正在等待 %1（进程 %2），它正在执行此账户的传输</translation>
    </message>
    <message>
        <source>This window runs the transfers of this account now.</source>
        <translation>此窗口现在执行此账户的传输。</translation>
    </message>
    <message>
        <source>The service ended the session; logged in again.</source>
        <translation>服务已结束会话；已重新登录。</translation>
    </message>
    <message>
        <source>The service ended the session. Please log in again.</source>
        <translation>服务已结束会话。请重新登录。</translation>
    </message>
    <message>
        <source>&amp;Options...</source>
        <translation>选项(&amp;O)...</translation>
    </message>
    <message>
        <source>Refre&amp;sh</source>
        <translation>刷新(&amp;S)</translation>
    </message>
    <message>
        <source>Dec&amp;rypt...</source>
        <translation>解密(&amp;R)...</translation>
    </message>
    <message>
        <source>Transfer &amp;List</source>
        <translation>传输列表(&amp;L)</translation>
    </message>
    <message>
        <source>Create &amp;Link</source>
        <translation>创建链接(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;Manage Link...</source>
        <translation>管理链接(&amp;M)...</translation>
    </message>
    <message>
        <source>Se&amp;nd Link...</source>
        <translation>发送链接(&amp;N)...</translation>
    </message>
    <message>
        <source>Lo&amp;gout</source>
        <translation>注销(&amp;G)</translation>
    </message>
</context>
<context>
    <name>CNetCheckDlg</name>
    <message>
        <source>Network Check</source>
        <translation>网络检测</translation>
    </message>
</context>
<context>
    <name>CNetDriveDlg</name>
    <message>
        <source>Cloud:</source>
        <translation>云端：</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not offered by this service to your account.</source>
        <translation>此服务没有为您的账户提供“%1”。</translation>
    </message>
</context>
<context>
    <name>COptionDlg</name>
    <message>
        <source>Options</source>
        <translation>选项</translation>
    </message>
    <message>
        <source>Encrypt File</source>
        <translation>文件加密</translation>
    </message>
    <message>
        <source>All file use default password when I upload them</source>
        <translation>上传时所有文件都使用默认密码加密</translation>
    </message>
    <message>
        <source>Default Password</source>
        <translation>默认密码</translation>
    </message>
    <message>
        <source>General</source>
        <translation>常规</translation>
    </message>
    <message>
        <source>Automatically run at start-up</source>
        <translation>开机时自动运行</translation>
    </message>
    <message>
        <source>Display tray icon</source>
        <translation>显示托盘图标</translation>
    </message>
    <message>
        <source>The settings could not be saved.</source>
        <translation>无法保存设置。</translation>
    </message>
    <message>
        <source>Backups of this account are run by %1 (process %2).</source>
        <translation>此账户的备份由 %1（进程 %2）执行。</translation>
    </message>
</context>
<context>
    <name>CPreviewDlg</name>
    <message>
        <source>Preview - %1</source>
        <translation>预览 - %1</translation>
    </message>
    <message>
        <source>Loading the preview...</source>
        <translation>正在加载预览...</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Only pictures and videos can be previewed.</source>
        <translation>只能预览图片和视频。</translation>
    </message>
    <message>
        <source>The video plays in the desktop&apos;s player.</source>
        <translation>视频将在桌面的播放器中播放。</translation>
    </message>
    <message>
        <source>This folder has no previews.</source>
        <translation>此文件夹没有预览。</translation>
    </message>
    <message>
        <source>The service gave no preview: %1</source>
        <translation>服务未提供预览：%1</translation>
    </message>
    <message>
        <source>The preview address cannot be opened: %1</source>
        <translation>无法打开预览地址：%1</translation>
    </message>
    <message>
        <source>The picture could not be fetched: %1</source>
        <translation>无法获取图片：%1</translation>
    </message>
    <message>
        <source>The picture is too large to preview.</source>
        <translation>图片太大，无法预览。</translation>
    </message>
    <message>
        <source>The picture could not be read.</source>
        <translation>无法读取图片。</translation>
    </message>
    <message>
        <source>%1 x %2 pixels</source>
        <translation>%1 x %2 像素</translation>
    </message>
</context>
<context>
    <name>CShareDlg</name>
    <message>
        <source>Share Folder - %1</source>
        <translation>共享文件夹 - %1</translation>
    </message>
    <message>
        <source>Share with</source>
        <translation>共享给</translation>
    </message>
    <message>
        <source>Other users, separated by a comma</source>
        <translation>其他用户，以逗号分隔</translation>
    </message>
    <message>
        <source>&amp;Share</source>
        <translation>共享(&amp;S)</translation>
    </message>
    <message>
        <source>Or type:</source>
        <translation>或输入：</translation>
    </message>
    <message>
        <source>Rights:</source>
        <translation>权限：</translation>
    </message>
    <message>
        <source>Contacts:</source>
        <translation>联系人：</translation>
    </message>
    <message>
        <source>Shared with</source>
        <translation>已共享给</translation>
    </message>
    <message>
        <source>User</source>
        <translation>用户</translation>
    </message>
    <message>
        <source>Rights</source>
        <translation>权限</translation>
    </message>
    <message>
        <source>Since</source>
        <translation>共享时间</translation>
    </message>
    <message>
        <source>&amp;Change Rights</source>
        <translation>更改权限(&amp;C)</translation>
    </message>
    <message>
        <source>S&amp;top Sharing</source>
        <translation>取消共享(&amp;T)</translation>
    </message>
    <message>
        <source>%1 failed (error 0x%2).</source>
        <translation>%1失败（错误 0x%2）。</translation>
    </message>
    <message>
        <source>%1 cancelled.</source>
        <translation>%1已取消。</translation>
    </message>
    <message>
        <source>%1 failed: %2</source>
        <translation>%1失败：%2</translation>
    </message>
    <message>
        <source>%1 &lt;%2&gt;</source>
        <translation>%1 &lt;%2&gt;</translation>
    </message>
    <message>
        <source>Reading the contacts</source>
        <translation>读取联系人</translation>
    </message>
    <message>
        <source>Reading the shares</source>
        <translation>读取共享</translation>
    </message>
    <message>
        <source>Pick a contact or type a user name first.</source>
        <translation>请先选择联系人或输入用户名。</translation>
    </message>
    <message>
        <source>Sharing with %1</source>
        <translation>共享给 %1</translation>
    </message>
    <message>
        <source>Sharing</source>
        <translation>正在共享</translation>
    </message>
    <message>
        <source>Select a share first.</source>
        <translation>请先选择一个共享。</translation>
    </message>
    <message>
        <source>Changing the rights</source>
        <translation>更改权限</translation>
    </message>
    <message>
        <source>Stopping the share</source>
        <translation>取消共享</translation>
    </message>
</context>
<context>
    <name>CTaskDetailDlg</name>
    <message>
        <source>Upload</source>
        <translation>上传</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>下载</translation>
    </message>
    <message>
        <source>Backup</source>
        <translation>备份</translation>
    </message>
    <message>
        <source>Transfer</source>
        <translation>传输</translation>
    </message>
    <message>
        <source>Task Name:</source>
        <translation>任务名称：</translation>
    </message>
    <message>
        <source>Net Url:</source>
        <translation>网络地址：</translation>
    </message>
    <message>
        <source>Local Path:</source>
        <translation>本地路径：</translation>
    </message>
    <message>
        <source>Task Type:</source>
        <translation>任务类型：</translation>
    </message>
    <message>
        <source>Transfer State:</source>
        <translation>传输状态：</translation>
    </message>
    <message>
        <source>Unfinished:</source>
        <translation>未完成：</translation>
    </message>
    <message>
        <source>Retry:</source>
        <translation>重试：</translation>
    </message>
    <message>
        <source>Unfinished Task List:</source>
        <translation>未完成任务列表：</translation>
    </message>
    <message>
        <source>Failed: %1: %2</source>
        <translation>失败：%1：%2</translation>
    </message>
    <message>
        <source>Skipped (the name exists): %1</source>
        <translation>已跳过（名称已存在）：%1</translation>
    </message>
</context>
<context>
    <name>CToolPanel</name>
    <message>
        <source>Not known yet</source>
        <translation>尚不知道</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <source>Network Check...</source>
        <translation>网络检测...</translation>
    </message>
    <message>
        <source>Space:</source>
        <translation>空间：</translation>
    </message>
    <message>
        <source>The space could not be read: %1</source>
        <translation>无法读取空间：%1</translation>
    </message>
    <message>
        <source>%1 of %2 used</source>
        <translation>已用 %1，共 %2</translation>
    </message>
</context>
<context>
    <name>CTransferCommands</name>
    <message>
        <source>&amp;Upload</source>
        <translation>上传(&amp;U)</translation>
    </message>
    <message>
        <source>&amp;Encrypted Upload</source>
        <translation>加密上传(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Decrypt</source>
        <translation>解密(&amp;D)</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>打开(&amp;O)</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>上传</translation>
    </message>
    <message>
        <source>Encrypted Upload</source>
        <translation>加密上传</translation>
    </message>
    <message>
        <source>Decrypt</source>
        <translation>解密</translation>
    </message>
    <message>
        <source>&amp;Download</source>
        <translation>下载(&amp;D)</translation>
    </message>
    <message>
        <source>Download &amp;To...</source>
        <translation>下载到(&amp;T)...</translation>
    </message>
    <message>
        <source>Download To...</source>
        <translation>下载到...</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>密码：</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>下载</translation>
    </message>
    <message>
        <source>An access-code login can only upload.</source>
        <translation>使用访问码登录时只能上传。</translation>
    </message>
    <message>
        <source>Open a folder of this computer to download into.</source>
        <translation>请先打开本机的一个文件夹作为下载位置。</translation>
    </message>
    <message>
        <source>Select Target Folder</source>
        <translation>选择目标文件夹</translation>
    </message>
    <message>
        <source>Overwrite existed</source>
        <translation>覆盖已存在的文件</translation>
    </message>
    <message>
        <source>%1: failed (error 0x%2)</source>
        <translation>%1：失败（错误 0x%2）</translation>
    </message>
    <message>
        <source>Repeated Mission</source>
        <translation>重复任务</translation>
    </message>
    <message>
        <source>Size limited</source>
        <translation>大小受限</translation>
    </message>
    <message>
        <source>Transfer</source>
        <translation>传输</translation>
    </message>
    <message>
        <source>A transfer stopped: %1: %2</source>
        <translation>传输已停止：%1：%2</translation>
    </message>
    <message>
        <source>Paused: %1</source>
        <translation>已暂停：%1</translation>
    </message>
    <message>
        <source>A name exists: the transfer waits for your answer.</source>
        <translation>名称已存在：传输正在等待您的答复。</translation>
    </message>
    <message numerus="yes">
        <source>%n transfer(s) waiting to go on.</source>
        <translation>
            <numerusform>%n 个传输正在等待继续。</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Transferring %n item(s): %1% (%2 of %3)</source>
        <translation>
            <numerusform>正在传输 %n 项：%1%（%2 / %3）</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Transferring %n item(s): %1 so far</source>
        <translation>
            <numerusform>正在传输 %n 项：已传输 %1</numerusform>
        </translation>
    </message>
    <message>
        <source>Transfers finished.</source>
        <translation>传输已完成。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not an encrypted file (&quot;.lock&quot;).</source>
        <translation>“%1”不是加密文件（“.lock”）。</translation>
    </message>
    <message>
        <source>Password for &quot;%1&quot;:</source>
        <translation>“%1”的密码：</translation>
    </message>
    <message>
        <source>&quot;%1&quot; exists already; it is left as it is.</source>
        <translation>“%1”已存在，保持不变。</translation>
    </message>
    <message>
        <source>Decrypting &quot;%1&quot;...</source>
        <translation>正在解密“%1”...</translation>
    </message>
    <message>
        <source>The password you entered to not match. Please re-enter.</source>
        <translation>您输入的密码不匹配，请重新输入。</translation>
    </message>
    <message>
        <source>Decrypting &quot;%1&quot;</source>
        <translation>正在解密“%1”</translation>
    </message>
    <message>
        <source>&quot;%1&quot; decrypted.</source>
        <translation>“%1”已解密。</translation>
    </message>
    <message>
        <source>An access-code login cannot upload encrypted files.</source>
        <translation>使用访问码登录时不能上传加密文件。</translation>
    </message>
    <message>
        <source>Wait until the files being uploaded have arrived.</source>
        <translation>请等待正在上传的文件传输完毕。</translation>
    </message>
    <message>
        <source>An access code takes files, not folders:
%1</source>
        <translation>访问码只接受文件，不接受文件夹：
%1</translation>
    </message>
    <message numerus="yes">
        <source>Uploading %n file(s)...</source>
        <translation>
            <numerusform>正在上传 %n 个文件...</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) uploaded.</source>
        <translation>
            <numerusform>已上传 %n 个文件。</numerusform>
        </translation>
    </message>
    <message>
        <source>The cloud folder shown does not take uploads; open one that does.</source>
        <translation>当前显示的云端文件夹不接受上传；请打开一个可以上传的文件夹。</translation>
    </message>
    <message>
        <source>The selection cannot be downloaded from here.</source>
        <translation>无法从这里下载所选内容。</translation>
    </message>
</context>
<context>
    <name>CTransferListCtrl</name>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Detail</source>
        <translation>详情</translation>
    </message>
    <message>
        <source>&amp;Transfer</source>
        <translation>传输(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Start</source>
        <translation>开始(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Pause</source>
        <translation>暂停(&amp;P)</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>删除(&amp;D)</translation>
    </message>
    <message>
        <source>Start All</source>
        <translation>全部开始</translation>
    </message>
    <message>
        <source>Pause All</source>
        <translation>全部暂停</translation>
    </message>
    <message>
        <source>Clear All Completed</source>
        <translation>清除所有已完成</translation>
    </message>
    <message>
        <source>Skip Error</source>
        <translation>跳过错误</translation>
    </message>
    <message>
        <source>View Detail</source>
        <translation>查看详情</translation>
    </message>
    <message>
        <source>Delete the selected transfer(s)?</source>
        <translation>删除选中的传输任务吗？</translation>
    </message>
    <message>
        <source>Transfer stopped</source>
        <translation>传输已停止</translation>
    </message>
    <message>
        <source>Transfer cancelled</source>
        <translation>传输已取消</translation>
    </message>
</context>
<context>
    <name>CTrayIcon</name>
    <message>
        <source>Open ZEPH300</source>
        <translation>打开 ZEPH300</translation>
    </message>
    <message>
        <source>L&amp;ogout</source>
        <translation>注销(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>选项(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>退出(&amp;E)</translation>
    </message>
</context>
<context>
    <name>CUploadCodeDlg</name>
    <message>
        <source>Upload Codes - %1</source>
        <translation>上传码 - %1</translation>
    </message>
    <message>
        <source>Code</source>
        <translation>上传码</translation>
    </message>
    <message>
        <source>Expires</source>
        <translation>过期时间</translation>
    </message>
    <message>
        <source>Create</source>
        <translation>创建</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Visitors who log in with one of these codes can upload into &quot;%1&quot;.</source>
        <translation>使用这些上传码登录的访客可以上传到“%1”。</translation>
    </message>
    <message>
        <source>%1 failed (error 0x%2).</source>
        <translation>%1失败（错误 0x%2）。</translation>
    </message>
    <message>
        <source>%1 cancelled.</source>
        <translation>%1已取消。</translation>
    </message>
    <message>
        <source>%1 failed: %2</source>
        <translation>%1失败：%2</translation>
    </message>
    <message>
        <source>Listing</source>
        <translation>正在列出</translation>
    </message>
    <message>
        <source>Creating a code</source>
        <translation>正在创建上传码</translation>
    </message>
    <message>
        <source>Deleting</source>
        <translation>正在删除</translation>
    </message>
</context>
<context>
    <name>EntryListModel</name>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>大小</translation>
    </message>
    <message>
        <source>Modify Time</source>
        <translation>修改时间</translation>
    </message>
    <message>
        <source>Not finished: still being transferred</source>
        <translation>尚未完成：仍在传输中</translation>
    </message>
    <message>
        <source>The name could not be changed (error 0x%1).</source>
        <translation>无法更改名称（错误 0x%1）。</translation>
    </message>
    <message>
        <source>Shared with other users</source>
        <translation>已与其他用户共享</translation>
    </message>
    <message>
        <source>Computer</source>
        <translation>计算机</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Empty name</source>
        <translation>名称为空</translation>
    </message>
    <message>
        <source>The name can&apos;t contain:</source>
        <translation>名称不能包含：</translation>
    </message>
    <message>
        <source>%1 (error 0x%2).</source>
        <translation>%1（错误 0x%2）。</translation>
    </message>
    <message>
        <source>Repeated upload mission, 
From:	%1
To:	%2</source>
        <translation>重复的上传任务，
从：	%1
到：	%2</translation>
    </message>
    <message>
        <source>Repeated download mission, 
From:	%1
To:	%2</source>
        <translation>重复的下载任务，
从：	%1
到：	%2</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1：%2</translation>
    </message>
    <message>
        <source>error 0x%1</source>
        <translation>错误 0x%1</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>工具(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Network Check...</source>
        <translation>网络检测(&amp;N)...</translation>
    </message>
    <message>
        <source>Backup folder (paused)</source>
        <translation>备份文件夹（已暂停）</translation>
    </message>
    <message>
        <source>Backup folder</source>
        <translation>备份文件夹</translation>
    </message>
    <message>
        <source>Inside a backup folder</source>
        <translation>位于备份文件夹内</translation>
    </message>
    <message>
        <source>Holds a backup folder</source>
        <translation>包含备份文件夹</translation>
    </message>
</context>
<context>
    <name>TransferListModel</name>
    <message>
        <source>Wait to Retry</source>
        <translation>等待重试</translation>
    </message>
    <message>
        <source>Transfering</source>
        <translation>正在传输</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>等待中</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Pause: %1</source>
        <translation>暂停：%1</translation>
    </message>
    <message>
        <source>Directory</source>
        <translation>目录</translation>
    </message>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>类型</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>大小</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>进度</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>速度</translation>
    </message>
    <message>
        <source>Remain</source>
        <translation>剩余时间</translation>
    </message>
    <message>
        <source>Elapsed</source>
        <translation>已用时间</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Local Path</source>
        <translation>本地路径</translation>
    </message>
    <message>
        <source>Net URI</source>
        <translation>网络路径</translation>
    </message>
    <message>
        <source>Wait to Retry: %1</source>
        <translation>等待重试：%1</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>已取消</translation>
    </message>
    <message>
        <source>Pause: the name exists, waiting for your answer</source>
        <translation>暂停：名称已存在，等待您的选择</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>下载</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>上传</translation>
    </message>
    <message>
        <source>Direction</source>
        <translation>方向</translation>
    </message>
</context>
<context>
    <name>TransferOutcome</name>
    <message>
        <source>Skipped</source>
        <translation>已跳过</translation>
    </message>
    <message>
        <source>Completed</source>
        <translation>已完成</translation>
    </message>
    <message>
        <source>Completed, %1 failed</source>
        <translation>已完成，%1 个失败</translation>
    </message>
    <message>
        <source>Completed, %1 skipped</source>
        <translation>已完成，%1 个已跳过</translation>
    </message>
    <message>
        <source>Completed, %1 failed, %2 skipped</source>
        <translation>已完成，%1 个失败，%2 个已跳过</translation>
    </message>
    <message>
        <source>Transfer skipped</source>
        <translation>传输已跳过</translation>
    </message>
    <message>
        <source>Transfer completed</source>
        <translation>传输完成</translation>
    </message>
    <message>
        <source>Transfer completed, %1 skipped</source>
        <translation>传输完成，%1 个已跳过</translation>
    </message>
    <message>
        <source>Transfer completed, %1 failed</source>
        <translation>传输完成，%1 个失败</translation>
    </message>
</context>
<context>
    <name>TransferTexts</name>
    <message>
        <source>%1 B</source>
        <translation>%1 字节</translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation>%1 KB</translation>
    </message>
    <message>
        <source>Size limited, the file(s) can&apos;t be uploaded: 
Path:	%1
Size:	%2</source>
        <translation>文件大小超出限制，无法上传：
路径：	%1
大小：	%2</translation>
    </message>
    <message>
        <source>Size limited, the file(s) can&apos;t be downloaded: 
Path:	%1
Size:	%2</source>
        <translation>文件大小超出限制，无法下载：
路径：	%1
大小：	%2</translation>
    </message>
    <message>
        <source>The file or folder does not exist</source>
        <translation>文件或文件夹不存在</translation>
    </message>
    <message>
        <source>The folder does not exist</source>
        <translation>文件夹不存在</translation>
    </message>
    <message>
        <source>Access denied</source>
        <translation>拒绝访问</translation>
    </message>
    <message>
        <source>The file is in use by another program</source>
        <translation>文件正被其他程序使用</translation>
    </message>
    <message>
        <source>The name exists</source>
        <translation>名称已存在</translation>
    </message>
    <message>
        <source>The disk is full</source>
        <translation>磁盘已满</translation>
    </message>
    <message>
        <source>The name is too long</source>
        <translation>名称太长</translation>
    </message>
    <message>
        <source>The path is not valid</source>
        <translation>路径无效</translation>
    </message>
    <message>
        <source>Not enough memory</source>
        <translation>内存不足</translation>
    </message>
    <message>
        <source>The cloud disk is full</source>
        <translation>云盘空间已满</translation>
    </message>
    <message>
        <source>A part of the file arrived damaged</source>
        <translation>文件的一部分传输后已损坏</translation>
    </message>
    <message>
        <source>The file changed while it was being uploaded</source>
        <translation>文件在上传过程中被修改</translation>
    </message>
    <message>
        <source>The file arrived damaged</source>
        <translation>文件传输后已损坏</translation>
    </message>
    <message>
        <source>The service did not answer in time</source>
        <translation>服务未及时响应</translation>
    </message>
    <message>
        <source>The service&apos;s host name cannot be resolved</source>
        <translation>无法解析服务的主机名</translation>
    </message>
    <message>
        <source>Cannot connect to the service</source>
        <translation>无法连接到服务</translation>
    </message>
    <message>
        <source>The connection to the service was cut</source>
        <translation>与服务的连接已中断</translation>
    </message>
    <message>
        <source>The secure connection to the service failed</source>
        <translation>与服务的安全连接失败</translation>
    </message>
    <message>
        <source>The service answered with HTTP status %1</source>
        <translation>服务返回了 HTTP 状态 %1</translation>
    </message>
    <message>
        <source>Error %1</source>
        <translation>错误 %1</translation>
    </message>
</context>
<context>
    <name>WaitIndicator</name>
    <message>
        <source>Waiting for the service...</source>
        <translation>正在等待服务...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Please wait</source>
        <translation>请稍候</translation>
    </message>
</context>
</TS>
