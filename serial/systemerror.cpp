#include "systemerror.h"

#include <cerrno>

namespace SystemError {

namespace {

struct Known
{
    int code;
    const char *chinese;
};

const Known kKnown[] = {
    {ENOSPC, "磁盘空间已满"},
#ifdef EDQUOT
    {EDQUOT, "超出了磁盘配额"},
#endif
    {EROFS, "文件系统是只读的"},
    {EACCES, "没有权限"},
    {EPERM, "系统不允许这样做，文件可能被锁定为不可更改"},
    {ENOENT, "文件或文件夹不存在，或已被删除"},
    {ENOTDIR, "路径中有一项不是文件夹"},
    {EISDIR, "这是一个文件夹"},
    {EFBIG, "文件超过了系统允许的大小"},
    {ENAMETOOLONG, "名称太长"},
    {EMFILE, "本程序打开的文件太多"},
    {ENFILE, "系统中打开的文件太多"},
    {EIO, "输入/输出出错，设备可能已被拔出"},
#ifdef ESTALE
    {ESTALE, "网络上的文件已失效"},
#endif
    {EAGAIN, "资源暂时不可用"},
    {ENXIO, "设备或地址不存在"},
    {ENODEV, "没有这个设备"},
    {EBUSY, "设备或资源忙"},
    {ENOTTY, "不是终端设备"},
    {EINVAL, "参数无效"},
    {EINTR, "系统调用被中断"},
    {EBADF, "文件描述符无效"},
    {ENOMEM, "内存不足"},
    {EPIPE, "管道已断开"},
    {EPROTO, "协议错误"},
    {ETIMEDOUT, "连接超时"},
};

QString withWords(const char *chinese, const QString &words)
{
    return QString::fromUtf8(chinese) + QStringLiteral("（") + words + QStringLiteral("）");
}

} // namespace

QString described(int code)
{
    const QString words = qt_error_string(code);
    for (const Known &known : kKnown) {
        if (known.code == code)
            return withWords(known.chinese, words);
    }
    return words;
}

QString describedText(const QString &systemText)
{
    for (const Known &known : kKnown) {
        if (systemText == qt_error_string(known.code))
            return withWords(known.chinese, systemText);
    }
    // The port component's own words for a device locked by another program.
    if (systemText == QLatin1String("Permission error while locking the device"))
        return withWords("锁定设备时被拒绝，设备可能正被另一个程序使用", systemText);
    return systemText;
}

} // namespace SystemError
