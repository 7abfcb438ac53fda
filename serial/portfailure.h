#pragma once

#include <QSerialPort>
#include <QString>

// Why a port could not be opened, or failed while open, told in a sentence the user can
// act on and followed by the system's own words. The open-failure box shows it under its
// text; the lost-port box behind its details button.
struct PortFailure
{
    enum class Kind
    {
        NoPort,           // no port name to open
        NotFound,         // no such device
        PermissionDenied, // the user may not read and write the device
        Busy,             // another program holds the device
        NotSerialDevice,  // a file, a directory or a device that is no terminal
        SpeedRefused,     // the line cannot take the speed
        StopBitsRefused,  // the line cannot take the stop bits
        SettingRefused,   // another line setting or the first discard failed
        LostGone,         // failed while open, and the device has disappeared
        LostError,        // failed while open, the device is still there
        Other,
    };

    Kind kind = Kind::Other;
    QString device;     // the device as it was opened ("/dev/ttyUSB0", "COM3")
    QString systemText; // the system's own words, as the serial port reports them
    QString value;      // the refused speed or stop bits, or the setting that failed
    // Permission denied on Linux: the group that owns the device, and whether that group
    // may read and write it (then joining the group is the fix).
    QString owningGroup;
    bool groupMayReadWrite = false;

    // The text for the details area.
    QString text() const;

    // Tells the cause of a failed open from the port's error and the device itself.
    static PortFailure ofOpen(const QString &systemName, QSerialPort::SerialPortError error,
                              const QString &systemText);
    // Tells what became of a port that failed while open. `hungUp`: the terminal itself says
    // its device has gone, which it does a moment before the device's node goes.
    static PortFailure ofLoss(const QString &systemName, const QString &systemText,
                              bool hungUp = false);
    // The device path a port name stands for ("ttyUSB0" is "/dev/ttyUSB0" on Unix).
    static QString deviceOf(const QString &systemName);
};
