// What the WinINet contract tests need besides the port: an HTTP server
// stand-in on 127.0.0.1 (testbed/server.py under Wine, the fake's responder
// in memory) answering by the path of each request (/status/NNN?body=TEXT),
// what that server saw, a port nobody listens on, and someone to answer the
// credential dialog.
#pragma once

#include "contract_test.h"
#include "port/internet.h"

#include <memory>
#include <string>
#include <vector>

namespace contract {

class NetEnvironment {
public:
    virtual ~NetEnvironment() = default;

    virtual port::Internet& Net() = 0;
    // The server stand-in's port; 0 when there is none here.
    virtual port::INTERNET_PORT ServerPort() = 0;
    virtual port::INTERNET_PORT ClosedPort() = 0;

    struct SeenRequest {
        std::string requestLine;
        std::vector<std::string> headers; // "Name: value"
        std::string Header(const std::string& name) const;
    };
    // Every request the server has received, in order.
    virtual std::vector<SeenRequest> ServerRequests() = 0;
    // Has the next credential dialog of this process answered: with OK after
    // typing user and password, or with Cancel.
    virtual void AnswerNextCredentialDialog(bool ok, const std::string& user,
                                            const std::string& password) = 0;
    // End of test: waits for the dialog answerer; reports handles left open.
    virtual void Finish() = 0;
};

std::unique_ptr<NetEnvironment> MakeNetEnvironment(Environment& env);

} // namespace contract
