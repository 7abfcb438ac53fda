#include "portfailure.h"

#include "systemerror.h"

#include <QFile>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString sentence(const PortFailure &failure)
{
    const QString &device = failure.device;
    switch (failure.kind) {
    case PortFailure::Kind::NoPort:
        return QStringLiteral("没有可打开的串口：端口名称为空或无法识别。");
    case PortFailure::Kind::NotFound:
        return QStringLiteral("设备 %1 不存在（可能已被拔出，或名称有误）。").arg(device);
    case PortFailure::Kind::PermissionDenied: {
        QString text = QStringLiteral("没有读写设备 %1 的权限。").arg(device);
#ifdef Q_OS_LINUX
        if (!failure.owningGroup.isEmpty() && failure.groupMayReadWrite) {
            text += QStringLiteral("\n解决办法：把当前用户加入拥有该设备的用户组 %1"
                                   "（例如 sudo usermod -aG %1 $USER），然后注销并重新登录。")
                        .arg(failure.owningGroup);
        } else if (!failure.owningGroup.isEmpty()) {
            text +=
                QStringLiteral("\n该设备的用户组 %1 也没有读写权限，需由系统管理员修改设备的权限。")
                    .arg(failure.owningGroup);
        }
#endif
        return text;
    }
    case PortFailure::Kind::Busy:
        return QStringLiteral("设备 %1 正被另一个程序占用，请先在那个程序里关闭它。").arg(device);
    case PortFailure::Kind::NotSerialDevice:
        return QStringLiteral("%1 不是串口设备。").arg(device);
    case PortFailure::Kind::SpeedRefused:
        return QStringLiteral("串口 %1 不能使用波特率 %2。").arg(device, failure.value);
    case PortFailure::Kind::StopBitsRefused:
        return QStringLiteral("串口 %1 在 8 位数据位时不能使用 %2 位停止位。")
            .arg(device, failure.value);
    case PortFailure::Kind::SettingRefused:
        return QStringLiteral("串口 %1 不接受所需的线路设置（%2）。").arg(device, failure.value);
    case PortFailure::Kind::LostGone:
        return QStringLiteral("设备 %1 已不存在，可能已被拔出；串口已关闭。").arg(device);
    case PortFailure::Kind::LostError:
        return QStringLiteral("设备 %1 读写出错，串口已关闭。").arg(device);
    case PortFailure::Kind::Other:
        break;
    }
    return QStringLiteral("打开设备 %1 失败。").arg(device);
}

#ifdef Q_OS_UNIX
// Permission or a holder: the port reports both as a permission error (a device taken
// exclusively by another program, or its lock file held, reads the same).
void tellPermissionFromBusy(PortFailure *failure, const QByteArray &path, const struct stat &info)
{
    if (::access(path.constData(), R_OK | W_OK) == 0) {
        failure->kind = PortFailure::Kind::Busy;
        return;
    }
    failure->kind = PortFailure::Kind::PermissionDenied;
    if (const group *owner = ::getgrgid(info.st_gid))
        failure->owningGroup = QString::fromLocal8Bit(owner->gr_name);
    else
        failure->owningGroup = QString::number(info.st_gid);
    // Joining the root group is no fix a console should suggest.
    failure->groupMayReadWrite =
        info.st_gid != 0 && (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
}
#endif

} // namespace

QString PortFailure::text() const
{
    QString text = sentence(*this);
    if (!systemText.isEmpty())
        text += QStringLiteral("\n系统信息：") + SystemError::describedText(systemText);
    return text;
}

QString PortFailure::deviceOf(const QString &systemName)
{
#ifdef Q_OS_UNIX
    if (systemName.isEmpty() || systemName.startsWith(QLatin1Char('/')))
        return systemName;
    return QStringLiteral("/dev/") + systemName;
#else
    return systemName;
#endif
}

PortFailure PortFailure::ofOpen(const QString &systemName, QSerialPort::SerialPortError error,
                                const QString &systemText)
{
    PortFailure failure;
    failure.device = deviceOf(systemName);
    failure.systemText = systemText;
    if (systemName.trimmed().isEmpty()) {
        failure.kind = Kind::NoPort;
        return failure;
    }
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(failure.device);
    struct stat info
    {
    };
    if (::stat(path.constData(), &info) != 0) {
        failure.kind = errno == EACCES ? Kind::PermissionDenied : Kind::NotFound;
        return failure;
    }
    if (!S_ISCHR(info.st_mode)) {
        failure.kind = Kind::NotSerialDevice;
        return failure;
    }
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        failure.kind = Kind::NotFound;
        break;
    case QSerialPort::PermissionError:
        tellPermissionFromBusy(&failure, path, info);
        break;
    case QSerialPort::UnsupportedOperationError:
        // A character device that takes no terminal settings (/dev/null and the like).
        failure.kind = Kind::NotSerialDevice;
        break;
    default:
        failure.kind = Kind::Other;
        break;
    }
#else
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        failure.kind = Kind::NotFound;
        break;
    case QSerialPort::PermissionError:
        // Windows denies access to a port another program has open.
        failure.kind = Kind::Busy;
        break;
    default:
        failure.kind = Kind::Other;
        break;
    }
#endif
    return failure;
}

PortFailure PortFailure::ofLoss(const QString &systemName, const QString &systemText, bool hungUp)
{
    PortFailure failure;
    failure.device = deviceOf(systemName);
    failure.systemText = systemText;
    failure.kind = hungUp ? Kind::LostGone : Kind::LostError;
#ifdef Q_OS_UNIX
    if (!QFile::exists(failure.device))
        failure.kind = Kind::LostGone;
#endif
    return failure;
}
