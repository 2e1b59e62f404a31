#pragma once
// Every form in which libpq takes a password from a connection, each with the secrets no message
// may show (and every part of them a message could show) and what it still shows of the
// connection. The connection's host is a socket folder that holds no server, so every connect
// fails and says where it tried.

#include <QString>
#include <QStringList>
#include <vector>

namespace m84::password_forms {

struct PasswordForm {
  QString connection;
  QStringList secrets;
  QString shown;
};

inline std::vector<PasswordForm> PasswordForms(const QString& socket) {
  const QString secret = QStringLiteral("S3cr3tPw");
  return {
      {QStringLiteral("host=%1 dbname=m84 password=S3cr3tPw").arg(socket),
       {secret},
       QStringLiteral("dbname=m84 password=...")},
      {QStringLiteral("host=%1 dbname=m84 PASSWORD=S3cr3tPw").arg(socket), {secret}, QStringLiteral("PASSWORD=...")},
      {QStringLiteral("PASSWORD=S3cr3tPw host=%1 dbname=m84").arg(socket), {secret}, QStringLiteral("PASSWORD=...")},
      {QStringLiteral("host=%1 password = 'S3cr3t Pw\\' more' dbname=m84").arg(socket),
       {QStringLiteral("S3cr3t"), QStringLiteral("Pw"), QStringLiteral("more")},
       QStringLiteral("password=... dbname=m84")},
      {QStringLiteral("host=%1 password=S3cr3tPw\\ more dbname=m84").arg(socket),
       {secret, QStringLiteral("more")},
       QStringLiteral("password=... dbname=m84")},
      {QStringLiteral("host=%1 sslpassword=S3cr3tPw dbname=m84").arg(socket),
       {secret},
       QStringLiteral("sslpassword=...")},
      {QStringLiteral("postgresql://m84:S3cr3tPw@/m84?host=%1").arg(socket),
       {secret},
       QStringLiteral("postgresql://m84:...@/m84")},
      {QStringLiteral("postgresql://m84:p@ss@w0rd@/m84?host=%1").arg(socket),
       {QStringLiteral("p@ss"), QStringLiteral("ss@w0rd"), QStringLiteral("w0rd")},
       QStringLiteral("postgresql://m84:...@/m84")},
      // libpq ends the user information at its first '@' and nowhere else: '?' and ':' are the
      // password's.
      {QStringLiteral("postgresql://m84:S3c?r3t:Pw@/m84?host=%1").arg(socket),
       {QStringLiteral("S3c"), QStringLiteral("r3t"), QStringLiteral(":Pw")},
       QStringLiteral("postgresql://m84:...@/m84")},
      {QStringLiteral("postgresql://m84:S3cr%33tPw@/m84?host=%1").arg(socket),
       {QStringLiteral("S3cr%33tPw"), secret},
       QStringLiteral("postgresql://m84:...@/m84")},
      {QStringLiteral("postgres://m84@/m84?host=%1&password=S3cr3tPw").arg(socket),
       {secret},
       QStringLiteral("password=...")},
      {QStringLiteral("postgresql:///m84?host=%1&PassWord=S3cr3tPw&sslmode=disable").arg(socket),
       {secret},
       QStringLiteral("PassWord=...&sslmode=disable")},
      // Percent-encoded names and values, which libpq decodes.
      {QStringLiteral("postgresql:///m84?host=%1&pass%77ord=S3cr3tPw").arg(socket),
       {secret},
       QStringLiteral("pass%77ord=...")},
      {QStringLiteral("postgresql:///m84?host=%1&%70assword=S3cr3tPw").arg(socket),
       {secret},
       QStringLiteral("%70assword=...")},
      {QStringLiteral("postgresql:///m84?host=%1&%70%61%73%73%77%6F%72%64=S3cr3tPw").arg(socket),
       {secret},
       QStringLiteral("%70%61%73%73%77%6F%72%64=...")},
      {QStringLiteral("postgresql:///m84?host=%1&sslpass%77ord=S3cr3tPw").arg(socket),
       {secret},
       QStringLiteral("sslpass%77ord=...")},
      {QStringLiteral("postgresql:///m84?host=%1&password=S3cr%33t%50w").arg(socket),
       {QStringLiteral("S3cr%33t%50w"), QStringLiteral("S3cr3tPw"), QStringLiteral("%50w")},
       QStringLiteral("password=...")},
      // A password libpq cannot read (a broken percent-encoding) is not quoted back from libpq.
      {QStringLiteral("postgresql://m84:S3cr3t%zzPw@/m84?host=%1").arg(socket),
       {QStringLiteral("S3cr3t"), QStringLiteral("zzPw")},
       QStringLiteral("postgresql://m84:...@/m84")},
  };
}

}  // namespace m84::password_forms
