// Replies of any length (stale, split across checks, corrupted) to reads and both offset writes, through
// the commands and timer ticks the dialog runs: pane lines, read-outs, wire, timers and buttons as the model says.
#include "Model.h"
#include "console/Commands.h"
#include "link/Transactions.h"

namespace {

const int kReadouts[8] = {IDC_TEMPERATURE_EDIT, IDC_HUMIDITY_EDIT, IDC_TEMP_OFFSET_EDIT, IDC_HUM_OFFSET_EDIT,
                          IDC_ADDRESS_EDIT,     IDC_TYPE_EDIT,     IDC_HW_VERSION_EDIT,  IDC_SW_VERSION_EDIT};

std::string Tenths(unsigned w)
{
    return (w & 0x8000 ? "-" : "") + std::to_string((w & 0x7FFF) / 10) + "." + std::to_string((w & 0x7FFF) % 10);
}

std::string Hex(unsigned w)
{
    return (w > 15 ? Hex(w / 16) : "") + "0123456789ABCDEF"[w % 16];
}

Log ReadCheck(const Bytes& b, std::uint8_t address, std::string (&shown)[8])
{
    if (b.size() != 21) return {{"接收数据长度不正确！", false}};
    if (b[0] != address) return {{"接收地址不正确！", false}};
    if (!SealOk(b)) return {{"CRC校验不正确！", false}};
    if (b[1] != 3 || b[2] != 16) return {{"接收数据格式不正确！", false}};
    unsigned r[8];
    for (int n = 0; n < 8; ++n) r[n] = b[3 + 2 * n] << 8 | b[4 + 2 * n];
    const std::string t[8] = {Tenths(r[0]) + " ", Tenths(r[1]) + " ", Tenths(r[2]), Tenths(r[3]),
                              std::to_string(r[4]), Hex(r[5]),        Hex(r[6]),    Hex(r[7])};
    std::copy(t, t + 8, shown);
    return {{"读取成功:\r\n温度" + t[0] + "度--湿度:" + t[1] + "%--温度偏移：" + t[2] + "\r\n湿度偏移：" + t[3] +
                 "--传感器地址：" + t[4] + "--类型：" + t[5] + "\r\n硬件版本：" + t[6] + "--软件版本：" + t[7] + "\r\n",
             false}};
}

Log WriteCheck(const Bytes& b, const Bytes& request)
{
    const std::uint8_t reg = request[3];
    const std::string failed = reg == 2 ? "温度偏移设置不正确！" : "湿度偏移设置不正确！";
    if (b.size() != 8) return {{"接收数据长度不正确！", false}};
    if (b[1] != 6 || b[3] != reg) return {{failed, false}};
    if (!SealOk(b)) return {{"CRC校验不正确！", false}, {failed, false}};
    if (b != request) return {{failed, false}};
    return {{reg == 2 ? "温度偏移设置成功！" : "湿度偏移设置成功！", false}};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in{data, size};
    Rig rig;
    std::string shown[8];
    while (in.size) {
        const std::uint8_t op = in.Byte(), address = in.Byte() % 64;
        const std::uint8_t reg = op % 3 ? op % 3 + 1 : 0;  // the offset register written, 0 for a read
        rig.Arrive(in.Take(op & 4 ? in.Byte() : 0));  // the request drains it
        rig.texts[IDC_SENSOR_ADDRESS_EDIT] = std::to_string(address);
        Bytes request{address, 3, 0, 0, 0, 8}, reply;
        if (reg == 0) {
            OnReadClicked(rig.console);
            reply = in.Take(16);
            reply.insert(reply.begin(), {address, 3, 16});
            reply.resize(19);
            reply = Sealed(reply);
        } else {
            const int limit = reg == 2 ? 100 : 250, tenths = (in.Byte() << 8 | in.Byte()) % (2 * limit + 1) - limit;
            const unsigned word = tenths < 0 ? 0x8000 | -tenths : tenths;
            rig.texts[reg == 2 ? IDC_TEMP_OFFSET_INPUT : IDC_HUM_OFFSET_INPUT] = Tenths(word);
            (reg == 2 ? OnSetTempOffsetClicked : OnSetHumOffsetClicked)(rig.console);
            request = {address, 6, 0, reg, static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
        }
        request = Sealed(request);
        if (reg) reply = request;
        ORACLE(rig.written == std::vector<Bytes>{request} && rig.waiting.empty());
        ORACLE(rig.log.back().first == (reg ? "正在设置地址为：" : "正在读取地址为：") + std::to_string(address) + " 的设备.");
        if ((op >> 3) % 4 == 1) reply[in.Byte() % reply.size()] ^= in.Byte() | 1;
        if ((op >> 3) % 4 == 1 && op & 0x20) reply = Sealed(Bytes(reply.begin(), reply.end() - 2));  // under a good CRC
        if ((op >> 3) % 4 == 2) reply = in.Take(in.Byte()), reply.resize((in.Byte() << 8 | in.Byte()) % 2049, in.Byte());
        if ((op >> 3) % 4 == 3) reply.clear();
        const Bytes got(reply.begin(), reply.begin() + (op & 0x80 ? in.Byte() % (reply.size() + 1) : reply.size()));
        rig.Arrive(got);
        rig.written.clear();
        rig.log.clear();
        const bool closed = op & 0x40;  // closing ends the exchange: its tick then changes nothing
        if (closed) OnOpenClicked(rig.console);
        AdvanceExchange(rig.console, reg ? kWriteCheckTimer : kReadCheckTimer);
        ORACLE(rig.log == (closed ? Log{{"关闭COM3", false}} : reg ? WriteCheck(got, request) : ReadCheck(got, address, shown)));
        ORACLE(rig.enabled[IDC_READ_BUTTON] != closed);
        if (closed) OnOpenClicked(rig.console);
        rig.Arrive(Bytes(reply.begin() + got.size(), reply.end()));  // too late for this check
        for (int n = 0; n < 8; ++n) ORACLE(rig.ControlText(kReadouts[n]) == shown[n]);
        ORACLE(rig.timers.empty() && rig.written.empty());
        for (int id : {IDC_CONTINUOUS_BUTTON, IDC_SET_HUM_OFFSET_BUTTON, IDC_SET_TEMP_OFFSET_BUTTON, IDC_READ_BUTTON})
            ORACLE(rig.enabled[id]);
    }
    return 0;
}
