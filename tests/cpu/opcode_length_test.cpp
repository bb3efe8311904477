// Instruction lengths measured by execution: each opcode is followed by three
// one-byte NOPs and a JMP home, so the number of instructions a call runs
// tells how many bytes the opcode consumed.
#include <set>

#include "cpu/opcode_table.h"
#include "cpu_test_support.h"

namespace cpu_test {
namespace {

class OpcodeLength : public CpuTest {};

// Branches, jumps, calls, returns and BRK are checked by where they go
// instead (control_stack_test.cpp, harness_test.cpp); the JAMs stop.
const std::set<uint8_t> control_transfers = {0x10, 0x30, 0x50, 0x70, 0x90, 0xB0, 0xD0, 0xF0,
                                             0x20, 0x40, 0x4C, 0x60, 0x6C, 0x00};

TEST_F(OpcodeLength, EveryOpcodeConsumesTheBytesTheTableGives) {
    for (uint16_t decimal : {0, 1}) {  // ADC, SBC, ISC, RRA and ARR take another path when D is set
        int measured = 0;
        for (int opcode = 0; opcode < 256; ++opcode) {
            if (control_transfers.count(opcode) || is_jam(opcode)) continue;
            clear_machine();
            cpu_state.decimal = decimal;
            place(code, {
                static_cast<uint8_t>(opcode),  // 1000 the opcode under test
                0xEA,                          // 1001 NOP, or its first operand byte
                0xEA,                          // 1002 NOP, or its second operand byte
                0xEA,                          // 1003 NOP
                0x4C, 0x02, 0x00,              // 1004 JMP $0002   home, whatever the stack holds
            });
            const int result = cpu_call(code);
            const int consumed = 6 - cpu_instructions_executed;  // 1 + (4 - length) NOPs + JMP
            EXPECT_EQ(CPU_RETURNED, result) << std::hex << "opcode " << opcode;
            EXPECT_EQ(2, cpu_state.pc) << std::hex << "opcode " << opcode;
            EXPECT_EQ(opcode_length[opcode], consumed) << std::hex << "opcode " << opcode << " D " << decimal;
            ++measured;
        }
        EXPECT_EQ(230, measured);
    }
}

// The lengths the transfers would have, had they fallen through, and the
// one-byte slots whose neighbours in the opcode grid are longer.
TEST_F(OpcodeLength, TableAgreesWithTheInstructionFormats) {
    for (uint8_t branch : {0x10, 0x30, 0x50, 0x70, 0x90, 0xB0, 0xD0, 0xF0}) EXPECT_EQ(2, opcode_length[branch]);
    EXPECT_EQ(3, opcode_length[0x20]);  // JSR abs
    EXPECT_EQ(3, opcode_length[0x4C]);  // JMP abs
    EXPECT_EQ(3, opcode_length[0x6C]);  // JMP (abs)
    EXPECT_EQ(1, opcode_length[0x40]);  // RTI
    EXPECT_EQ(1, opcode_length[0x60]);  // RTS
    EXPECT_EQ(2, opcode_length[0x00]);  // BRK: its return address skips the byte after it
    EXPECT_EQ(2, opcode_length[0x34]);  // like its row-mates
    EXPECT_EQ(2, opcode_length[0x14]);
    EXPECT_EQ(2, opcode_length[0x4B]);  // ALR #imm
    EXPECT_EQ(3, opcode_length[0x9C]);  // SHY abs,X
    EXPECT_EQ(2, opcode_length[0x93]);  // SHA (zp),Y
    EXPECT_EQ(1, opcode_length[0x02]);  // a JAM: pc stays on it
}

}  // namespace
}  // namespace cpu_test
