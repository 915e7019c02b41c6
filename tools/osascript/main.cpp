#include "platform/FileItemStore.h"
#include "platform/SecretServiceItemStore.h"
#include "platform/StatementFile.h"
#include "platform/SudoScriptRunner.h"
#include "tunnel/KeychainWrapper.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <cstdio>
#include <memory>

namespace {

// The store the client chose in the same session: a statement that names a password
// item reads the item the client wrote.
std::unique_ptr<ItemStore> sessionItemStore() {
    if (SecretServiceItemStore::answers())
        return std::make_unique<SecretServiceItemStore>();
    return std::make_unique<FileItemStore>();
}

} // namespace

// Exit status 0 when the statement ran and its command succeeded, 1 otherwise.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: orvel-osascript FILE\n");
        return 1;
    }
    const auto read = StatementFile::read(arguments.at(1));
    if (const auto* refusal = std::get_if<StatementFile::Refusal>(&read)) {
        std::fprintf(stderr, "orvel-osascript: refused %s\n", qPrintable(refusal->reason));
        return 1;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString source = decoder.decode(std::get<QByteArray>(read));
    if (decoder.hasError()) {
        std::fprintf(stderr, "orvel-osascript: %s is not UTF-8\n", qPrintable(arguments.at(1)));
        return 1;
    }
    const std::unique_ptr<ItemStore> items = sessionItemStore();
    return SudoScriptRunner(
               PasswordItems(*items, QString::fromLatin1(KeychainWrapper::kDefaultServiceName)))
                   .run(source)
               ? 0
               : 1;
}
