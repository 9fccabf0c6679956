// SPDX-License-Identifier: GPL-3.0-or-later
// The HTTP room on loopback: routes, checked parameters, gzip, bodies, and refusals with
// their statuses for what a hostile or broken client sends.
#include "http/HttpServer.h"
#include "core/NocturoError.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>
#include <zlib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>

namespace {

// One request written as it stands, the whole answer read until the server closes.
std::string Exchange(quint16 port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    timeval guard{20, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return {};
    }
    (void)!write(fd, request.data(), request.size());
    std::string answer;
    char buffer[4096];
    // Until the server closes, or the whole answer is in (a server refusing a broken request
    // may keep the connection open).
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        answer.append(buffer, size_t(n));
        const size_t end = answer.find("\r\n\r\n");
        const size_t length = answer.find("Content-Length: ");
        if (end != std::string::npos && length != std::string::npos && length < end &&
            answer.size() >= end + 4 + std::stoul(answer.substr(length + 16)))
            break;
    }
    close(fd);
    return answer;
}

std::string Get(quint16 port, const std::string& target, const std::string& extra = {}) {
    return Exchange(port, "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" +
                              extra + "\r\n");
}

int Status(const std::string& answer) {
    return answer.size() > 12 ? std::stoi(answer.substr(9, 3)) : 0;
}

std::string Body(const std::string& answer) {
    const size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

std::string Gunzip(const std::string& data) {
    z_stream stream{};
    inflateInit2(&stream, 15 + 16);
    std::string out(1 << 20, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = inflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return result == Z_STREAM_END ? out : std::string("<not gzip>");
}

class HttpServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        HttpServerOptions options;
        options.listen = "127.0.0.1:0";
        options.maxBodyBytes = 1000;
        options.log = [](const QString&) {};
        server = std::make_unique<HttpServer>(options);
        server->route("GET", "/sum", [](const HttpRequest& request) {
            request.allowOnly({"a", "b"});
            const qint64 a = request.integer("a", -100, 100, 0);
            const qint64 b = request.integer("b", -100, 100, 0);
            return HttpResponse::json(QJsonDocument(QJsonObject{{"sum", a + b}}));
        });
        server->route("GET", "/big", [](const HttpRequest&) {
            return HttpResponse::bytes(QByteArray(50000, 'x'), "text/plain");
        });
        server->route("GET", "/files/", [](const HttpRequest& request) {
            return HttpResponse::bytes(request.pathAfter("/files/").join('|').toUtf8(),
                                       "text/plain");
        });
        server->route("PUT", "/form", [](const HttpRequest& request) {
            return HttpResponse::bytes(request.requiredText("Name").toUtf8(), "text/plain");
        });
        server->route("GET", "/fail", [](const HttpRequest&) -> HttpResponse {
            throw std::logic_error("secret detail");
        });
        server->start();
        port = server->port();
        ASSERT_NE(port, 0);
    }
    std::unique_ptr<HttpServer> server;
    quint16 port = 0;
};

TEST_F(HttpServerTest, AnswersRoutesWithCheckedParameters) {
    const std::string sum = Get(port, "/sum?a=2&b=-5");
    EXPECT_EQ(Status(sum), 200);
    EXPECT_EQ(Body(sum), R"({"sum":-3})");
    EXPECT_NE(sum.find("Content-Type: application/json"), std::string::npos);

    EXPECT_EQ(Status(Get(port, "/sum?a=1000")), 400);
    EXPECT_EQ(Status(Get(port, "/sum?a=1&a=2")), 400);
    EXPECT_EQ(Status(Get(port, "/sum?a=x1")), 400);
    EXPECT_EQ(Status(Get(port, "/sum?a=%2B1")), 400);
    const std::string unknown = Get(port, "/sum?c=1");
    EXPECT_EQ(Status(unknown), 400);
    EXPECT_EQ(Body(unknown), R"({"error":"unknown parameter \"c\""})");
    std::string many = "/sum?";
    for (int i = 0; i < 100; ++i)
        many += "a" + std::to_string(i) + "=1&";
    EXPECT_EQ(Status(Get(port, many)), 400);

    EXPECT_EQ(Body(Get(port, "/files/a/b%20c")), "a|b c");
    EXPECT_EQ(Status(Get(port, "/nothing")), 404);
    const std::string wrongMethod = Exchange(port, "DELETE /sum HTTP/1.1\r\nHost: x\r\n"
                                                   "Connection: close\r\n\r\n");
    EXPECT_EQ(Status(wrongMethod), 405);
    EXPECT_NE(wrongMethod.find("Allow: GET"), std::string::npos);
    const std::string failed = Get(port, "/fail");
    EXPECT_EQ(Status(failed), 500);
    EXPECT_EQ(failed.find("secret"), std::string::npos);
    EXPECT_EQ(server->refused(), 9u);
}

TEST_F(HttpServerTest, CompressesForClientsThatAcceptGzip) {
    const std::string plain = Get(port, "/big");
    EXPECT_TRUE(Body(plain) == std::string(50000, 'x'));
    EXPECT_EQ(plain.find("Content-Encoding"), std::string::npos);
    const std::string packed = Get(port, "/big", "Accept-Encoding: br, gzip\r\n");
    EXPECT_NE(packed.find("Content-Encoding: gzip"), std::string::npos);
    EXPECT_LT(Body(packed).size(), 1000u);
    EXPECT_TRUE(Gunzip(Body(packed)) == std::string(50000, 'x'));
    const std::string refused = Get(port, "/big", "Accept-Encoding: gzip;q=0\r\n");
    EXPECT_EQ(refused.find("Content-Encoding"), std::string::npos);
    // Small answers are not worth compressing.
    EXPECT_EQ(Get(port, "/sum", "Accept-Encoding: gzip\r\n").find("Content-Encoding"),
              std::string::npos);
}

TEST_F(HttpServerTest, ReadsFormBodiesWithinTheirBound) {
    const auto put = [&](const std::string& body) {
        return Exchange(port, "PUT /form HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                              "Content-Type: application/x-www-form-urlencoded\r\n"
                              "Content-Length: " +
                                  std::to_string(body.size()) + "\r\n\r\n" + body);
    };
    EXPECT_EQ(Body(put("Name=night+sky%21&x=1")), "night sky!");
    EXPECT_EQ(Status(put("Name=%zz")), 400);
    EXPECT_EQ(Status(put("Name=" + std::string(5000, 'a'))), 413);
}

TEST_F(HttpServerTest, RefusesBrokenRequests) {
    // Refused with 400, or the connection closed without an answer.
    const int garbage = Status(Exchange(port, "GARBAGE\r\n\r\n"));
    EXPECT_TRUE(garbage == 400 || garbage == 0) << garbage;
    EXPECT_EQ(Status(Exchange(port, "GET /sum HTTP/1.1\r\nHost: x\r\nbroken header\r\n\r\n")), 400);
    const int version = Status(Exchange(port, "GET /sum HTTP/7.0\r\nHost: x\r\n\r\n"));
    EXPECT_TRUE(version == 505 || version == 400) << version;
    const std::string longTarget = "/sum?a=" + std::string(100000, '1');
    const int status = Status(Get(port, longTarget));
    EXPECT_TRUE(status == 414 || status == 431 || status == 400) << status;
    // The server still answers after all that.
    EXPECT_EQ(Status(Get(port, "/sum?a=1")), 200);
}

TEST(HttpServerListen, ParsesAndRefusesAddresses) {
    QByteArray host;
    quint16 port = 0;
    bool ipv6 = false;
    HttpServer::ParseListen("[::1]:8080", host, port, ipv6);
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 8080);
    EXPECT_TRUE(ipv6);
    HttpServer::ParseListen("localhost:80", host, port, ipv6);
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_FALSE(ipv6);
    EXPECT_THROW(HttpServer::ParseListen("8080", host, port, ipv6), NocturoError);
    EXPECT_THROW(HttpServer::ParseListen("1.2.3:80", host, port, ipv6), NocturoError);
    EXPECT_THROW(HttpServer::ParseListen("1.2.3.4:70000", host, port, ipv6), NocturoError);
    HttpServerOptions taken;
    taken.listen = "127.0.0.1:0";
    taken.log = [](const QString&) {};
    HttpServer first(taken);
    first.start();
    taken.listen = QString("127.0.0.1:%1").arg(first.port());
    HttpServer second(taken);
    EXPECT_THROW(second.start(), NocturoError);
}

} // namespace
