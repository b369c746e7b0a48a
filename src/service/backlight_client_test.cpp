// The client's decisions that need no pipe: whom it trusts, and what it says when it does not.
#include "src/service/backlight_client.hpp"

#include <gtest/gtest.h>

#include "src/service/service_control.hpp"
#include "tests/support/row_name.hpp"

namespace vantrel {
namespace {

using test::PrintTo;

struct TrustRow {
    const char* name;
    std::expected<std::uint32_t, unsigned long> server;
    ServiceProcess service;
    std::string refusal;  // empty: trusted
};

class TrustPipeServer : public testing::TestWithParam<TrustRow> {};

TEST_P(TrustPipeServer, SendsOnlyToTheServicesProcess) {
    const auto trusted = trust_pipe_server(R"(\\.\pipe\VantrelHal)", GetParam().server, GetParam().service);
    if (GetParam().refusal.empty()) {
        EXPECT_TRUE(trusted.has_value()) << trusted.error().display();
        return;
    }
    ASSERT_FALSE(trusted.has_value());
    EXPECT_EQ(trusted.error().display(), GetParam().refusal);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, TrustPipeServer,
    testing::Values(
        TrustRow{"the_service_itself", 812u, ServiceProcess(812u), ""},
        TrustRow{"another_process", 4100u, ServiceProcess(812u),
                 R"(ressource non disponible : le serveur du canal \\.\pipe\VantrelHal n'est pas le service VantrelHal )"
                 "(serveur : processus 4100 ; service : processus 812) : requête non envoyée"},
        TrustRow{"service_stopped", 4100u, std::unexpected(std::string("arrêté")),
                 R"(ressource non disponible : le serveur du canal \\.\pipe\VantrelHal n'est pas le service VantrelHal )"
                 "(serveur : processus 4100 ; service : arrêté) : requête non envoyée"},
        TrustRow{"server_unknown", std::unexpected(1UL), ServiceProcess(812u),
                 R"(ressource non disponible : le serveur du canal \\.\pipe\VantrelHal n'est pas le service VantrelHal )"
                 "(serveur : non identifié (code 1) ; service : processus 812) : requête non envoyée"}),
    test::RowName{});

TEST(ServiceControl, OnlyStopAndShutdownEndTheService) {
    const std::pair<std::uint32_t, ControlAnswer> rows[] = {
        {1, ControlAnswer::Stop},      {5, ControlAnswer::Stop},      {4, ControlAnswer::Status},
        {2, ControlAnswer::Refused},   {3, ControlAnswer::Refused},   {15, ControlAnswer::Refused},
        {128, ControlAnswer::Refused}, {255, ControlAnswer::Refused}, {0, ControlAnswer::Refused}};
    for (const auto& [control, answer] : rows) EXPECT_EQ(control_answer(control), answer) << control;
}

}  // namespace
}  // namespace vantrel
