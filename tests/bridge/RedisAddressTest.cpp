#include <gtest/gtest.h>

#include "tools/redis/RedisAddress.h"

TEST(RedisAddress, PartsAreReadAndDefaultsFilledIn)
{
    struct Case
    {
        const char* Text;
        const char* Host;
        uint16_t Port;
        int Database;
        const char* User;
        const char* Password;
    };
    for (const Case& c : {Case{"redis://cache.local", "cache.local", 6379, 0, "", ""},
                          Case{"redis://127.0.0.1:7001/3", "127.0.0.1", 7001, 3, "", ""},
                          Case{"redis://[::1]:6380", "::1", 6380, 0, "", ""},
                          Case{"redis://[::1]/2", "::1", 6379, 2, "", ""},
                          Case{"redis://h:6379/", "h", 6379, 0, "", ""},
                          Case{"redis://:p@ss:w@h:1", "h", 1, 0, "", "p@ss:w"},
                          Case{"redis://secret@h", "h", 6379, 0, "", "secret"},
                          Case{"redis://alice:pw@h:2/1", "h", 2, 1, "alice", "pw"}})
    {
        RedisAddress address;
        std::string error;
        ASSERT_TRUE(RedisAddress::Parse(c.Text, address, error)) << c.Text << ": " << error;
        EXPECT_EQ(c.Host, address.Host) << c.Text;
        EXPECT_EQ(c.Port, address.Port) << c.Text;
        EXPECT_EQ(c.Database, address.Database) << c.Text;
        EXPECT_EQ(c.User, address.User) << c.Text;
        EXPECT_EQ(c.Password, address.Password) << c.Text;
    }
    RedisAddress address;
    std::string error;
    ASSERT_TRUE(RedisAddress::Parse("redis://:pw@[::1]:7000/4", address, error));
    EXPECT_EQ("redis://[::1]:7000/4", address.Text());  // never the password
}

TEST(RedisAddress, MalformedAddressesAreRefusedWithoutShowingThePassword)
{
    for (const char* text : {"", "127.0.0.1:6379", "rediss://h", "redis://", "redis://:6379", "redis://h:",
                             "redis://h:0", "redis://h:65536", "redis://h:63a", "redis://::1:6379", "redis://[::1",
                             "redis://[]:1", "redis://[::1]x", "redis://h/x", "redis://h/-1", "redis://pw@"})
    {
        RedisAddress address;
        std::string error;
        EXPECT_FALSE(RedisAddress::Parse(text, address, error)) << text;
        EXPECT_EQ(0u, error.find("malformed Redis address")) << error;
    }
    RedisAddress address;
    std::string error;
    EXPECT_FALSE(RedisAddress::Parse("redis://user:topsecret@h:0", address, error));
    EXPECT_EQ(std::string::npos, error.find("topsecret")) << error;
}
