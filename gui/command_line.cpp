// SPDX-License-Identifier: MIT
#include "command_line.h"

#include <QCoreApplication>

#include <cstring>

CommandLine earlyCommandLine(int argc, char* argv[])
{
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return line.action = CommandLine::Action::Help, line;
        if (std::strcmp(argv[i], "--version") == 0)
            line.action = CommandLine::Action::Version;
    }
    return line;
}

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine line;
    bool options = true;
    bool here = false;
    QStringList files;
    for (const QString& argument : arguments) {
        if (options && argument == QLatin1String("--")) {
            options = false;
        } else if (options && (argument == QLatin1String("--help") || argument == QLatin1String("-h"))) {
            line.action = CommandLine::Action::Help;
            return line;
        } else if (options && argument == QLatin1String("--version")) {
            line.action = CommandLine::Action::Version;
        } else if (options && argument == QLatin1String("--extract-here")) {
            here = true;
        } else if (options && argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("-")) {
            line.action = CommandLine::Action::Error;
            line.error = QCoreApplication::translate("CommandLine", "不明なオプションです: %1").arg(argument);
            return line;
        } else {
            files << argument;
        }
    }
    if (line.action == CommandLine::Action::Run && here) {
        if (files.isEmpty()) {
            line.action = CommandLine::Action::Error;
            line.error = QCoreApplication::translate("CommandLine", "--extract-here には展開するファイルが必要です");
        } else {
            line.action = CommandLine::Action::ExtractHere;
            line.files = files;
        }
    } else if (line.action == CommandLine::Action::Run && files.size() > 1) {
        line.action = CommandLine::Action::Error;
        line.error = QCoreApplication::translate("CommandLine", "開けるファイルは1つだけです: %1")
                         .arg(files.join(QLatin1Char(' ')));
    } else if (!files.isEmpty()) {
        line.file = files.first();
    }
    return line;
}

QString helpText()
{
    return QCoreApplication::translate("CommandLine",
                                       "使い方: vza-extract [ファイル]\n"
                                       "        vza-extract --extract-here ファイル...\n"
                                       "VZ Archive形式 (*.vza) のアーカイブを一覧表示し、選んだファイルを展開します。\n"
                                       "ファイルを指定すると、起動時にそのアーカイブを読み込みます。\n"
                                       "\n"
                                       "  --extract-here  各アーカイブを、その隣にある同じ名前の新しいフォルダへ\n"
                                       "                  全て展開し、まとめを表示して終了します\n"
                                       "  --help          この説明を表示して終了します\n"
                                       "  --version       バージョンを表示して終了します\n");
}

QString versionText()
{
    return QStringLiteral("vza-extract " VZA_VERSION "\n");
}
