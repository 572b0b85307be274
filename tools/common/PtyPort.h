#pragma once
// A stand-in's end of a serial line: a pseudo-terminal in raw mode, published as
// a link ("COM<n>") in the virtual port folder, where the program lists its ports.
// While no program has the other end open, what the stand-in sends is lost, as
// on a real line. Main thread only.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

class PtyPort : public QObject
{
    Q_OBJECT
public:
    explicit PtyPort(QObject* parent = nullptr);
    ~PtyPort() override;

    // The virtual port folder: $MAG_PORT_DIR, or /tmp/magnetometer-ports.
    static QString folder();

    // Opens the pseudo-terminal and publishes it; an empty name takes the first
    // free COM<n> from COM10. On failure *error says why.
    bool open(const QString& dir, const QString& name, QString* error);
    void close(); // closes the line and removes the link

    QString name() const { return m_name; }
    QString devicePath() const { return m_devicePath; }
    bool isOpen() const { return m_master >= 0; }
    bool hasClient() const { return m_hasClient; }

    void write(const QByteArray& bytes);

signals:
    void bytesReceived(const QByteArray& bytes);
    void clientChanged(bool connected);

private:
    bool publish(const QString& dir, const QString& name, QString* error);
    void onReadable();
    void onWritable();
    void checkClient();
    void setClient(bool connected);

    int m_master = -1;
    QString m_devicePath, m_linkPath, m_name;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QTimer m_clientTimer; // looks for a program opening the line while none has it
    QByteArray m_outgoing;
    bool m_hasClient = false;
};
