#pragma once

#include <QByteArray>

// What lies beyond the simulated module's links when they are real: the module asks for a
// link, sends on it, closes it and listens for clients; what happens out there comes back
// later through the Listener, to whoever runs the module, which hands it to the module on
// its clock. A far end never calls the Listener from inside one of these calls, so the
// module is never entered twice. Without a far end the module plays its own peer.
class SimFarEnd
{
public:
    enum class Kind
    {
        Tcp,
        Udp
    };

    class Listener
    {
    public:
        virtual ~Listener() = default;
        virtual void linkOpened(int link) = 0;
        // Refused, unreachable, or the name not found.
        virtual void linkFailed(int link) = 0;
        virtual void linkReceived(int link, const QByteArray &bytes) = 0;
        // The peer closed the link.
        virtual void linkClosed(int link) = 0;
        // A client reached the server: the link it gets, or -1 to turn it away.
        virtual int clientJoined(const QByteArray &ip, int port) = 0;
    };

    virtual ~SimFarEnd() = default;

    void setListener(Listener *listener) { m_listener = listener; }

    // Opens `link` to host:port; the Listener hears linkOpened() or linkFailed().
    virtual void open(int link, Kind kind, const QByteArray &host, int port) = 0;
    virtual void send(int link, const QByteArray &bytes) = 0;
    // Ends the link, or its attempt to open; nothing more is heard of it.
    virtual void close(int link) = 0;
    // Starts listening for clients on `port`; false when the port cannot be had.
    virtual bool listen(int port) = 0;
    // Stops taking clients; the clients already joined stay.
    virtual void stopListening() = 0;
    // While off, nothing more is read from the links: the line to the console is behind.
    virtual void setReading(bool on) = 0;

protected:
    Listener *listener() const { return m_listener; }

private:
    Listener *m_listener = nullptr;
};
