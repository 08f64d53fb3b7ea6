#pragma once
// One Kolvo per user (and per KOLVO_HOME): the first instance holds a lock file and listens
// on a local socket named after the title and the user; a second instance finds the lock,
// sends its hand-over record there and ends.
//
// On the socket a record travels as: dwData (32 bits, little-endian), cbData (32 bits), then
// the cbData bytes of the block. The receiver answers with the 32-bit result of its handler
// once it has taken the record, which is what the sender waits for.

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<std::intptr_t(std::uint32_t dwData, const QByteArray& block)>;

    explicit SingleInstance(const QString& title, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the instance lock; false when another live instance holds it.
    bool claim();
    // Sends a record to the running instance and waits for its answer (up to timeoutMs while
    // it starts listening). False when no instance took it.
    bool handOver(std::uint32_t dwData, const QByteArray& block, int timeoutMs = 3000);
    // Starts accepting records (after claim()).
    bool listen(Handler handler);

    // Records larger than this are refused: the longest file name plus the header.
    static constexpr std::uint32_t kMaxBlock = 64 * 1024;

private:
    void onConnection();
    void onReadyRead(QLocalSocket* socket);

    QString m_title;
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    Handler m_handler;
};
