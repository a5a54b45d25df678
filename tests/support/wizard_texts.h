#pragma once
// The program's own texts as the tests, the demo driver and the benchmark
// read them from the wizard, in UTF-8, and the string table they come from.
// They are repeated here rather than taken from the resources so that a
// changed message table shows as a failing test.
#include <map>
#include <string>

namespace testsupport {

inline const std::string kWizardCaption = "Kelmor在线升级1.21";
// The captions of a build with the test brand (tests/data/brand): the wizard's and the boxes'.
inline const std::string kBrandedWizardCaption = "星图\"Atlas\"在线升级 \\ 测试版 (Windows 32 位) 2026 年秋季版本 R2";
inline const std::string kBrandedBoxCaption = "星图 升级";
inline const std::string kClickNext = "点击下一步查看可用的更新";
inline const std::string kNextCaption = "下一步(&N)";
inline const std::string kUpdateCaption = "更新(&U)";
inline const std::string kFinishCaption = "完成(&O)";
inline const std::string kReadingVersion = "读取版本信息...";
inline const std::string kConnectFailed = "连接服务器失败!";
inline const std::string kAlreadyNewest = "您现在用的版本已是最新的！";
inline const std::string kNewerFoundPrefix = "发现新的版本:";  // then "<product> <version>"
inline const std::string kDownloadingPrefix = "正在下载文件:";  // then the file's name
inline const std::string kSignatureInvalid = "更新信息签名无效!";
inline const std::string kFinished = "完成更新!关闭后请重新启动软件";
inline const std::string kUrlNotHttp = "版本文件URL应以http://开头";
inline const std::string kReleaseNotDone = "更新未完成，原有文件保持不变!";
inline const std::string kRecoveryNeedsRights = "上次更新未完成，需要管理员权限才能恢复!";
inline const std::string kRecoveryFilesInUse = "上次更新未完成，请关闭程序后重试!";
inline const std::string kNoRightsToInstall = "需要管理员权限才能更新!";

// Every text of the string table by id; the unit tests' fake table serves these.
inline const std::map<unsigned, std::string> kStringTable = {
    {103, "Windows 通信端口初始化中..."},
    {104, kUrlNotHttp},
    {105, kClickNext},
    {106, kUpdateCaption},
    {107, kFinishCaption},
    {108, "正在连接到服务器..."},
    {109, kConnectFailed},
    {110, kReadingVersion},
    {111, kAlreadyNewest},
    {112, kNewerFoundPrefix + "%s %s"},
    {113, "%s 已在运行!\n请先关闭程序才能进行更新!\n如果选择确定将强行关闭程序!"},
    {114, "%s 更新失败"},
    {115, "%s 更新完成"},
    {116, kFinished},
    {117, kDownloadingPrefix + "%s"},
    {118, "%s  不存在!"},
    {119, "写文件 %s  错误!\n文件正在使用中，请先关闭程序!"},
    {120, kSignatureInvalid},
    {121, kReleaseNotDone},
    {122, kRecoveryNeedsRights},
    {123, kNoRightsToInstall},
    {124, kRecoveryFilesInUse},
    {125, "%s 已删除"},
    {61704, "内部应用程序出错。"},
    {61857, "在对 %1 进行访问时发生了一个不明错误。"},
    {61869, "在存取 %1 时磁盘已满。"},
};

}  // namespace testsupport
