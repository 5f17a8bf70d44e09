#include "platform/network_listener.h"
#include "tests/doubles/simulated_printer_test.h"

#include <string>
#include <vector>

using Strings = std::vector<std::string>;

class ConnectEthernet : public SimulatedPrinterTest {};

TEST_F(ConnectEthernet, ConnectsToTheSimulatorWithTheSpecifiedLogLines) {
    printerSocket = 77; // the value a new connection replaces
    ASSERT_TRUE(
        connectEthernet(&printerSocket, "127", "0", "0", "1", portText().c_str(), &printerData));
    EXPECT_NE(printerSocket, 77);
    EXPECT_EQ(printerData.portType, PORT_TYPE_ETHERNET);
    EXPECT_EQ(kernel.logLines(), (Strings{
                                     "IP address = 127.0.0.1",
                                     "Port number = " + portText(),
                                     "Client: WSAStartup() is OK",
                                     "Client: socket() is OK",
                                     "Client: connect() is OK",
                                     "Client: setting printerData->portType = PORT_TYPE_ETHERNET",
                                 }));
    // One start-up stays in force for the connection; the connect has its bound.
    EXPECT_EQ(network->startups(), 1);
    EXPECT_EQ(network->cleanups(), 0);
    EXPECT_EQ(network->connectTimeouts(), (std::vector<uint32_t>{10000}));
    EXPECT_TRUE(waitForEvents(SIM_EVENT_OPENED, 1));
}

TEST_F(ConnectEthernet, ReadsOctetsAndPortAsDecimalWithLeadingZeros) {
    ASSERT_TRUE(connectEthernet(&printerSocket, "127", "000", "0", "001", portText().c_str(),
                                &printerData));
    EXPECT_TRUE(kernel.logged("IP address = 127.000.0.001"));
}

struct RefusedAddress {
    const char* octets[4];
    const char* port;
    const char* refusal;
};

// Texts a mistyped field could hold; none of them may reach a socket.
static const RefusedAddress refusedAddresses[] = {
    {{"127", "0", "0", "1"}, "70000", "connectEthernet - Refused port number \"70000\""},
    {{"127", "0", "0", "1"}, "65536", "connectEthernet - Refused port number \"65536\""},
    {{"127", "0", "0", "1"}, "", "connectEthernet - Refused port number \"\""},
    {{"127", "0", "0", "1"}, "0", "connectEthernet - Refused port number \"0\""},
    {{"127", "0", "0", "1"}, "+1", "connectEthernet - Refused port number \"+1\""},
    {{"127", "0", "0", "1"}, " 1", "connectEthernet - Refused port number \" 1\""},
    {{"127", "0", "0", "1"}, "1 ", "connectEthernet - Refused port number \"1 \""},
    {{"127", "0", "0", "1"}, "0x10", "connectEthernet - Refused port number \"0x10\""},
    {{"127", "0", "0", "1"}, "000010001", "connectEthernet - Refused port number \"000010001\""},
    {{"127", "0", "0", ""}, "10001", "connectEthernet - Refused IP address octet \"\""},
    {{"127", "0.0", "1", "2"}, "10001", "connectEthernet - Refused IP address octet \"0.0\""},
    {{"127", "0", "0", "256"}, "10001", "connectEthernet - Refused IP address octet \"256\""},
    {{"0x7f", "0", "0", "1"}, "10001", "connectEthernet - Refused IP address octet \"0x7f\""},
    {{"127", "+1", "0", "1"}, "10001", "connectEthernet - Refused IP address octet \"+1\""},
    {{"127", " 1", "0", "1"}, "10001", "connectEthernet - Refused IP address octet \" 1\""},
    {{"127", "0", "0", "0001"}, "10001", "connectEthernet - Refused IP address octet \"0001\""},
    {{"127", "0", "-1", "1"}, "10001", "connectEthernet - Refused IP address octet \"-1\""},
};

TEST_F(ConnectEthernet, RefusesAnyTextButDecimalOctetsAndPortBeforeMakingASocket) {
    for (const RefusedAddress& refused : refusedAddresses) {
        SCOPED_TRACE(refused.refusal);
        kernel.clearLog();
        printerData.portType = PORT_TYPE_USB;
        EXPECT_FALSE(connectEthernet(&printerSocket, refused.octets[0], refused.octets[1],
                                     refused.octets[2], refused.octets[3], refused.port,
                                     &printerData));
        EXPECT_EQ(printerData.portType, PORT_TYPE_NONE);
        EXPECT_EQ(printerSocket, INVALID_SOCKET_HANDLE);
        EXPECT_TRUE(kernel.logged(refused.refusal));
    }
    EXPECT_EQ(network->startups(), 0);
    EXPECT_TRUE(network->opened().empty());
}

TEST_F(ConnectEthernet, AcceptsTheEdgesOfTheRanges) {
    // Nothing listens at these ports: the text is accepted and the connect itself fails.
    for (const char* port : {"1", "65535"}) {
        SCOPED_TRACE(port);
        kernel.clearLog();
        EXPECT_FALSE(connectEthernet(&printerSocket, "127", "0", "255", "0", port, &printerData));
        EXPECT_TRUE(kernel.logged(std::string("Port number = ") + port));
        EXPECT_TRUE(kernel.logged("Client: connect() - Failed to connect"));
    }
}

TEST_F(ConnectEthernet, AFailedConnectClosesItsSocketAndStopsTheLibrary) {
    std::string closedPort = portText();
    server.stop();
    printerSocket = 77;
    EXPECT_FALSE(
        connectEthernet(&printerSocket, "127", "0", "0", "1", closedPort.c_str(), &printerData));
    EXPECT_EQ(printerData.portType, PORT_TYPE_NONE);
    EXPECT_EQ(printerSocket, 77); // the stored socket keeps its value
    printerSocket = INVALID_SOCKET_HANDLE;
    EXPECT_EQ(kernel.logLines().back(), "Client: connect() - Failed to connect");
    ASSERT_EQ(network->opened().size(), 1u);
    EXPECT_EQ(network->closed(), network->opened());
    EXPECT_EQ(network->startups(), 1);
    EXPECT_EQ(network->cleanups(), 1);
}

TEST_F(ConnectEthernet, AFailedStartUpIsNotCleanedUp) {
    network->failStartup({PLATFORM_ERROR_OTHER, 10091}); // WSASYSNOTREADY
    EXPECT_FALSE(
        connectEthernet(&printerSocket, "127", "0", "0", "1", portText().c_str(), &printerData));
    EXPECT_EQ(printerData.portType, PORT_TYPE_NONE);
    EXPECT_EQ(kernel.logLines().back(), "Client: Error at WSAStartup()");
    EXPECT_EQ(network->cleanups(), 0);
}

TEST_F(ConnectEthernet, AFailedSocketLogsItsErrorAndCleansUp) {
    network->failOpenStream({PLATFORM_ERROR_OTHER, 10024}); // WSAEMFILE
    EXPECT_FALSE(
        connectEthernet(&printerSocket, "127", "0", "0", "1", portText().c_str(), &printerData));
    EXPECT_EQ(printerData.portType, PORT_TYPE_NONE);
    EXPECT_EQ(kernel.logLines().back(), "Client: socket() - Error at socket(): 10024");
    EXPECT_EQ(network->startups(), 1);
    EXPECT_EQ(network->cleanups(), 1);
}

TEST_F(ConnectEthernet, ASimulatorThatClosesAtOnceStillConnects) {
    SimFaults faults;
    faults.closeOnConnect = true;
    printer.setFaults(faults);
    ASSERT_TRUE(connectToPrinter());
    // The close arrives as the end of the stream or, when it crossed the command, as a reset.
    EXPECT_FALSE(GetPrinterIDEthernet(printerSocket, &printerData));
    std::string last = kernel.logLines().back();
    EXPECT_TRUE(last == "GetPrinterIDEthernet - Connection Closed" ||
                last == "GetPrinterIDEthernet - bytesRecv < 0")
        << last;
}

class CloseSocket : public SimulatedPrinterTest {};

TEST_F(CloseSocket, ClosesTheStoredSocketOnceAndMarksItClosed) {
    ASSERT_TRUE(connectToPrinter());
    SocketHandle socket = printerSocket;
    closeSocket(printerSocket);
    EXPECT_EQ(printerSocket, INVALID_SOCKET_HANDLE);
    closeSocket(printerSocket); // a second closing finds nothing to close
    closeSocket(INVALID_SOCKET_HANDLE);
    EXPECT_EQ(network->closed(), (std::vector<SocketHandle>{socket}));
    EXPECT_EQ(kernel.logLines(),
              (Strings{"closeSocket - Entry", "closeSocket - Complete", "closeSocket - Entry",
                       "closeSocket - Complete", "closeSocket - Entry", "closeSocket - Complete"}));
    EXPECT_TRUE(waitForEvents(SIM_EVENT_CLOSED, 1));
}

// A simulated printer listens at any address of 127.0.0.0/8, and never at another.
TEST(LoopbackListener, TakesAnyLoopbackAddressAndRefusesEveryOther) {
    ASSERT_TRUE(networkService->startup(nullptr));
    const uint8_t second[4] = {127, 0, 0, 2};
    SocketHandle listener = networkListenerService->listenLoopback(second, 0, nullptr);
    EXPECT_NE(listener, INVALID_SOCKET_HANDLE);
    networkService->close(listener);
    const uint8_t network[4] = {10, 0, 0, 1};
    PlatformError error;
    EXPECT_EQ(networkListenerService->listenLoopback(network, 0, &error), INVALID_SOCKET_HANDLE);
    EXPECT_EQ(error.kind, PLATFORM_ERROR_INVALID);
    networkService->cleanup();
}

TEST_F(ConnectEthernet, AConnectNobodyAnswersEndsAtItsBound) {
    // A listener that never accepts: once its queue is full, the system drops further
    // connection requests and a connect waits for an answer that never comes.
    SocketHandle listener = networkListenerService->listenLoopback(LOOPBACK_ADDRESS, 0, nullptr);
    ASSERT_NE(listener, INVALID_SOCKET_HANDLE);
    std::string port = std::to_string(networkListenerService->localPort(listener));
    ethernetTimeouts.connectMilliseconds = 300;
    std::vector<SocketHandle> queued;
    bool refused = false;
    for (int attempt = 0; attempt < 64 && !refused; ++attempt) {
        kernel.clearLog();
        SocketHandle socket = INVALID_SOCKET_HANDLE;
        refused = !connectEthernet(&socket, "127", "0", "0", "1", port.c_str(), &printerData);
        if (!refused) {
            queued.push_back(socket);
        }
    }
    EXPECT_TRUE(refused);
    EXPECT_EQ(kernel.logLines().back(), "Client: connect() - Failed to connect");
    EXPECT_EQ(network->connectTimeouts().back(), 300u);
    for (SocketHandle socket : queued) {
        closeSocket(socket);
    }
    networkService->close(listener);
}
