#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testsupport
{
// A temporary folder for virtual HID devices, named in NUBLA_VHID_DIR while it lives.
// Create it before anything creates the HID manager.
class VhidFolder
{
public:
    VhidFolder();
    ~VhidFolder();
    VhidFolder (const VhidFolder&) = delete;
    VhidFolder& operator= (const VhidFolder&) = delete;

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// The device side of one virtual HID device: a listening SOCK_SEQPACKET socket in the
// folder, served from its own thread. Each host connection gets the descriptor first;
// a newer connection replaces the older one.
class VirtualDevice
{
public:
    struct Identity
    {
        uint32_t vendorId = 0xE47A;
        uint32_t productId = 0x0025;
        uint32_t versionNumber = 0x0102;
        uint32_t locationId = 0x14100000;
    };

    VirtualDevice (std::string folder, std::string name, Identity identity);
    ~VirtualDevice();
    VirtualDevice (const VirtualDevice&) = delete;
    VirtualDevice& operator= (const VirtualDevice&) = delete;

    static std::vector<uint8_t> makeDescriptor (const Identity& identity);

    // What is sent right after accept, instead of the proper descriptor; empty sends nothing.
    void setDescriptor (std::vector<uint8_t> bytes);

    // Binds a temporary name, listens, then renames it to <name>.sock.
    bool plug();
    // Closes the connection, removes the socket file and stops listening.
    void unplug();

    // Waits until a host connection has received the descriptor. The host connects on
    // the message thread: from there, run the message loop until isConnected() instead.
    bool waitConnected (int timeoutMs);
    bool isConnected() const;
    // Number of host connections accepted since construction.
    int connectionCount() const { return m_connections; }
    // Sends one input report over the current connection.
    bool sendInput (const std::vector<uint8_t>& report);
    // Reads one output report; none when nothing arrives in time or the host is gone.
    std::optional<std::vector<uint8_t>> readOutput (int timeoutMs);

    std::string socketPath() const { return m_folder + "/" + m_name + ".sock"; }

private:
    void serve();
    void closeConnection();

    const std::string m_folder;
    const std::string m_name;
    std::vector<uint8_t> m_descriptor;
    int m_listenFd = -1;
    int m_stopPipe[2] { -1, -1 };
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::condition_variable m_connected;
    int m_connFd = -1; // guarded by m_lock
    bool m_descriptorSent = false; // guarded by m_lock
    std::atomic<int> m_connections { 0 };
};
} // namespace testsupport
