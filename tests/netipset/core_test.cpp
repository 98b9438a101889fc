// kpx_netipset_core: the conversions between dotted text and the settings
// block, the reading of replies to "CheckIP?", validation and the commands
// of the queue installation.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

#include "netipset_core.h"

using namespace kpxnip;

namespace {

QByteArray bytes(std::initializer_list<int> values) {
  QByteArray out;
  for (int v : values) out.append(static_cast<char>(v));
  return out;
}

QString q(const char *utf8) { return QString::fromUtf8(utf8); }

// The worked example: 192.168.1.10 / 255.255.255.0 / 192.168.1.1.
const QByteArray kExampleBlock =
    bytes({0xC0, 0xA8, 0x01, 0x0A, 0xFF, 0xFF, 0xFF, 0x00, 0xC0, 0xA8, 0x01, 0x01});

}  // namespace

// ------------------------------------------------------------ conversions

TEST(Conversions, ConvertHexChar) {
  const char *digits = "0123456789";
  for (int i = 0; i < 10; ++i) EXPECT_EQ(ConvertHexChar(digits[i]), i);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(ConvertHexChar(static_cast<char>('a' + i)), 10 + i);
    EXPECT_EQ(ConvertHexChar(static_cast<char>('A' + i)), 10 + i);
  }
  for (char c : {'g', 'G', ' ', '\0', '/', ':', '@', '`', 'x', '-'})
    EXPECT_EQ(ConvertHexChar(c), 0xFF) << int(c);
  EXPECT_EQ(ConvertHexChar(static_cast<char>(0xC0)), 0xFF);
}

TEST(Conversions, WorkedExampleSet) {
  EXPECT_EQ(StringToHenStr("192.168.1.10"), "c0a8010a");
  EXPECT_EQ(StringToHenStr("255.255.255.0"), "ffffff00");
  EXPECT_EQ(StringToHenStr("192.168.1.1"), "c0a80101");
  EXPECT_EQ(HexStrToByteArray("c0a8010affffff00c0a80101"), kExampleBlock);
  EXPECT_EQ(encodeSettings("192.168.1.10", "255.255.255.0", "192.168.1.1"), kExampleBlock);
  // Upper-case digits read the same.
  EXPECT_EQ(HexStrToByteArray("C0A8010AFFFFFF00C0A80101"), kExampleBlock);
  EXPECT_EQ(encodeSettings("10.0.0.5", "255.0.0.0", "10.0.0.1"),
            bytes({0x0A, 0x00, 0x00, 0x05, 0xFF, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x01}));
}

TEST(Conversions, StringToHenStrPadsEveryPartToTwoDigits) {
  EXPECT_EQ(StringToHenStr("1.2.3.4"), "01020304");
  EXPECT_EQ(StringToHenStr("0.0.0.0"), "00000000");
  EXPECT_EQ(StringToHenStr("15.16.254.255"), "0f10feff");
  // Non-numbers read as 0; empty parts too.
  EXPECT_EQ(StringToHenStr("a.b.c.d"), "00000000");
  EXPECT_EQ(StringToHenStr("1..3"), "010003");
  // Beyond a byte the digits are kept, padded to an even count.
  EXPECT_EQ(StringToHenStr("256"), "0100");
  EXPECT_EQ(StringToHenStr("4095"), "0fff");
}

TEST(Conversions, HexStrToByteArraySpacesAndShortInput) {
  // Spaces between digit pairs are skipped.
  QByteArray spaced = HexStrToByteArray("c0 a8");
  ASSERT_EQ(spaced.size(), 12);
  EXPECT_EQ(spaced.left(2), bytes({0xC0, 0xA8}));
  // Short text: the missing positions give 0xFF * 16 + 0xFF kept to 8 bits.
  EXPECT_EQ(spaced.mid(2), QByteArray(10, char(0xEF)));
  EXPECT_EQ(HexStrToByteArray(""), QByteArray(12, char(0xEF)));
  EXPECT_EQ(HexStrToByteArray("c0a8"), bytes({0xC0, 0xA8}) + QByteArray(10, char(0xEF)));
  // An odd digit count: the last digit's partner is past the end and
  // counts as 0xFF (0xA * 16 + 0xFF kept to 8 bits).
  EXPECT_EQ(HexStrToByteArray("c0a").left(2), bytes({0xC0, 0x9F}));
  // Only the first 24 positions count: HexToStr's spaced text gives 8 bytes.
  EXPECT_EQ(HexStrToByteArray("c0 a8 01 0a ff ff ff 00 c0 a8 01 01"), kExampleBlock.left(8));
  // And a longer text of digits still only 12.
  EXPECT_EQ(HexStrToByteArray("c0a8010affffff00c0a80101ffff"), kExampleBlock);
  // A non-digit counts as 0xFF in its place.
  EXPECT_EQ(HexStrToByteArray("zz").left(1), bytes({0xEF}));
  EXPECT_EQ(HexStrToByteArray("1z").left(1), bytes({0x0F}));
  EXPECT_EQ(HexStrToByteArray("z1").left(1), bytes({0xF1}));
}

TEST(Conversions, HexToStrWorkedExample) {
  EXPECT_EQ(HexToStr(kExampleBlock), "c0 a8 01 0a ff ff ff 00 c0 a8 01 01");
  EXPECT_EQ(HexToStr(QByteArray(12, '\0')), "00 00 00 00 00 00 00 00 00 00 00 00");
  // Only the first 12 bytes.
  EXPECT_EQ(HexToStr(kExampleBlock + bytes({0x3B})), HexToStr(kExampleBlock));
}

TEST(Conversions, DecodeSettingsWithItsDebugLines) {
  Settings s = decodeSettings(kExampleBlock);
  EXPECT_EQ(s.address, "192.168.1.10");
  EXPECT_EQ(s.mask, "255.255.255.0");
  EXPECT_EQ(s.gateway, "192.168.1.1");
  EXPECT_EQ(s.debugLines,
            (QStringList{"ip = 192.", "ip = 192.168.", "ip = 192.168.1.", "ip = 192.168.1.10.",
                         "mask = 255.", "mask = 255.255.", "mask = 255.255.255.",
                         "mask = 255.255.255.0.", "port = 192.", "port = 192.168.",
                         "port = 192.168.1.", "port = 192.168.1.1."}));
  // Round trip through the encoder.
  Settings t = decodeSettings(encodeSettings("0.0.0.0", "10.20.30.40", "255.1.2.3"));
  EXPECT_EQ(t.address, "0.0.0.0");
  EXPECT_EQ(t.mask, "10.20.30.40");
  EXPECT_EQ(t.gateway, "255.1.2.3");
}

// ------------------------------------------------------- reading replies

namespace {

struct Reads {
  std::vector<QByteArray> replies;  // an empty entry stands for a failed read (254)
};

// Feeds the reads in order; returns the result and how many reads it took.
std::pair<QByteArray, int> runQuery(const std::vector<QByteArray> &replies) {
  ReplyReader reader(500);
  unsigned char buffer[kReplyBufferSize] = {};
  int n = 0;
  for (const QByteArray &r : replies) {
    ++n;
    int result = kReadFailed;
    if (!r.isEmpty()) {
      memcpy(buffer, r.constData(), r.size());
      result = r.size();
    }
    ReplyStep step = reader.feed(result, buffer, 0);
    if (step.kind == ReplyStep::Done) return {step.result, n};
  }
  return {QByteArray("still reading"), n};
}

const QByteArray kGoodReply = QByteArray("IPadd:") + kExampleBlock;

}  // namespace

TEST(Replies, GoodFirstReply) {
  EXPECT_EQ(runQuery({kGoodReply}), std::make_pair(kExampleBlock, 1));
  // Bytes after the 18th are ignored.
  EXPECT_EQ(runQuery({kGoodReply + "\x01\x02"}), std::make_pair(kExampleBlock, 1));
}

TEST(Replies, SingleByteRepliesAreCountedUpToFifty) {
  std::vector<QByteArray> reads(49, QByteArray(1, 'x'));
  reads.push_back(kGoodReply);
  EXPECT_EQ(runQuery(reads), std::make_pair(kExampleBlock, 50));

  reads.assign(50, QByteArray(1, '\0'));
  reads.push_back(kGoodReply);
  EXPECT_EQ(runQuery(reads), std::make_pair(QByteArray("read ip error"), 50));
}

TEST(Replies, OtherRepliesAreSkippedWithoutCounting) {
  // Lower-case prefix, other text and a two-byte reply are skipped and not
  // counted among the single-byte replies.
  std::vector<QByteArray> reads(49, QByteArray(1, 'x'));
  reads.push_back(QByteArray("ipadd:") + kExampleBlock);
  reads.push_back("CODE=10001\r");
  reads.push_back("IP");
  reads.push_back(kGoodReply);
  EXPECT_EQ(runQuery(reads), std::make_pair(kExampleBlock, 53));
  // The prefix is looked for in the text up to the first zero byte.
  EXPECT_EQ(runQuery({QByteArray("IPa\0dd:", 7) + kExampleBlock, kGoodReply}),
            std::make_pair(kExampleBlock, 2));
}

TEST(Replies, OtherRepliesAreGivenUpOnInTime) {
  // With 500 ms reads, no read may start after 1.5 s: the query is over by 2 s.
  const unsigned char other[kReplyBufferSize] = "CODE=10001\r";
  for (int result : {1, 11}) {
    ReplyReader reader(500);
    EXPECT_EQ(reader.feed(result, other, 1500).kind, ReplyStep::ReadAgain) << result;
    ReplyStep last = reader.feed(result, other, 1501);
    EXPECT_EQ(last.kind, ReplyStep::Done) << result;
    EXPECT_EQ(last.result, "read ip error");
  }
  // The answer itself is taken however late it comes.
  ReplyReader reader(500);
  unsigned char good[kReplyBufferSize] = {};
  memcpy(good, kGoodReply.constData(), kGoodReply.size());
  EXPECT_EQ(reader.feed(kGoodReply.size(), good, 1900).result, kExampleBlock);
}

TEST(Replies, FailuresEndTheQuery) {
  EXPECT_EQ(runQuery({QByteArray()}), std::make_pair(QByteArray("read ip error"), 1));
  EXPECT_EQ(runQuery({"hello", QByteArray(), kGoodReply}),
            std::make_pair(QByteArray("read ip error"), 2));
  // A reply with the prefix but too short to hold the block.
  EXPECT_EQ(runQuery({kGoodReply.left(17), kGoodReply}),
            std::make_pair(QByteArray("read ip error"), 1));
  // 254 bytes cannot be told from the read failure code.
  EXPECT_EQ(runQuery({kGoodReply + QByteArray(254 - 18, 'z')}),
            std::make_pair(QByteArray("read ip error"), 1));
  // 253 bytes are a reply.
  EXPECT_EQ(runQuery({kGoodReply + QByteArray(253 - 18, 'z')}), std::make_pair(kExampleBlock, 1));
}

// -------------------------------------------------------------- validation

TEST(CheckIp, Accepts) {
  for (const char *ip : {"10.0.0.1", "0.0.0.0", "255.255.255.255", "192.168.001.010", "1.2.3.4"})
    EXPECT_TRUE(checkIp(ip)) << ip;
}

TEST(CheckIp, Rejects) {
  for (const char *ip :
       {"", "10.0.0.256", "10.0.0", "10..0.1", "10.0.0.1.", ".10.0.0.1", "10.0.0.1.5",
        "a.b.c.d", "10.0.0.a", "-1.0.0.1", "10.0.-0.1", "+1.0.0.1", "10.0.0.0001",
        "10.0.0. 1", " 10.0.0.1", "10.0.0.1 ", "1e2.0.0.1", "0x1.0.0.1", "999.0.0.1",
        "10,0,0,1", "１.２.３.４", "10.0.0.1\n"})
    EXPECT_FALSE(checkIp(QString::fromUtf8(ip))) << ip;
}

TEST(Validation, SetFormComplaintsInOrder) {
  const QString ok = "192.168.1.10";
  EXPECT_EQ(settingsComplaint("", "", ""), q("请输入IP地址"));
  EXPECT_EQ(settingsComplaint("1.2.3", "", ""), q("请检查IP地址是否正确"));
  EXPECT_EQ(settingsComplaint(ok, "", "bad"), q("请输入子网掩码"));
  EXPECT_EQ(settingsComplaint(ok, "255.255.255", ""), q("请检查子网掩码是否正确"));
  EXPECT_EQ(settingsComplaint(ok, "255.255.255.0", ""), q("请输入默认网关"));
  EXPECT_EQ(settingsComplaint(ok, "255.255.255.0", "192.168.1.x"), q("请检查默认网关是否正确"));
  EXPECT_EQ(settingsComplaint(ok, "255.255.255.0", "192.168.1.1"), QString());
  EXPECT_EQ(addressComplaint(""), q("请输入IP地址"));
  EXPECT_EQ(addressComplaint("a.b.c.d"), q("请检查IP地址是否正确"));
  EXPECT_EQ(addressComplaint(ok), QString());
}

// -------------------------------------------------------- queue commands

TEST(QueueCommands, SystemTools) {
  CommandPaths p = commandPaths(QString());
  EXPECT_EQ(p.lpadmin, "/usr/sbin/lpadmin");
  EXPECT_EQ(p.initScript, "/etc/init.d/cups");
  EXPECT_EQ(p.service, "service");

  Command create = createQueueCommand(p, "192.168.1.10");
  EXPECT_EQ(create.program, "/usr/sbin/lpadmin");
  EXPECT_EQ(create.arguments, (QStringList{"-p", "KPX7720MW-net", "-m", "KPX7720MW-net.ppd", "-v",
                                           "socket://192.168.1.10:9100", "-E"}));
  Command def = defaultQueueCommand(p);
  EXPECT_EQ(def.program, "/usr/sbin/lpadmin");
  EXPECT_EQ(def.arguments, (QStringList{"-d", "KPX7720MW-net"}));

  Command init = restartCommand(p, true);
  EXPECT_EQ(init.program, "/etc/init.d/cups");
  EXPECT_EQ(init.arguments, QStringList{"restart"});
  Command service = restartCommand(p, false);
  EXPECT_EQ(service.program, "service");
  EXPECT_EQ(service.arguments, (QStringList{"cups", "restart"}));
}

TEST(QueueCommands, CommandDirectory) {
  for (const char *dir : {"/tmp/stand-ins", "/tmp/stand-ins/"}) {
    CommandPaths p = commandPaths(dir);
    EXPECT_EQ(p.lpadmin, "/tmp/stand-ins/lpadmin");
    EXPECT_EQ(p.initScript, "/tmp/stand-ins/cups");
    EXPECT_EQ(p.service, "/tmp/stand-ins/service");
    EXPECT_EQ(restartCommand(p, false).program, "/tmp/stand-ins/service");
  }
}

TEST(QueueCommands, AddressStaysOneArgument) {
  // Whatever is typed stays inside the one -v argument; no shell sees it.
  Command c = createQueueCommand(commandPaths(QString()), "1.2.3.4 -x;rm");
  ASSERT_EQ(c.arguments.size(), 7);
  EXPECT_EQ(c.arguments[5], "socket://1.2.3.4 -x;rm:9100");
  // Handed over as Latin-1.
  Command w = createQueueCommand(commandPaths(QString()), q("1.2.3.四"));
  EXPECT_EQ(w.arguments[5], "socket://1.2.3.?:9100");
}

TEST(NetIpInfo, ContentAndPath) {
  EXPECT_EQ(netIpInfoContent("192.168.1.10"), "192.168.1.10");
  EXPECT_EQ(netIpInfoContent("192.168.1.10").size(), 12);
  EXPECT_EQ(netIpInfoPath("/opt/zuva/Printers/KPX7720MW_net"),
            "/opt/zuva/Printers/KPX7720MW_net/config/netIpInfo");
}
