#pragma once
// A DBC written for these tests: one message per decoding hazard (big-endian runs over byte
// boundaries, signed odd lengths, 64-bit, floats, multiplexing, an extended identifier, a CAN FD
// length), plus sections a reader must skip. Shared by the decoder's table and the cross-check.

#include <QByteArray>

inline QByteArray BenchBusDbc()
{
    return QByteArrayLiteral(R"(VERSION "K3316 bench bus 1"

NS_ :
	NS_DESC_
	CM_
	BA_DEF_
	BA_
	VAL_
	BA_DEF_DEF_
	SIG_VALTYPE_
	SG_MUL_VAL_
	BO_TX_BU_

BS_:

BU_: Bench Gateway

VAL_TABLE_ GearTexts 0 "Park" 1 "Reverse" 2 "Neutral" 3 "Drive" ;

BO_ 200 Motor: 8 Bench
 SG_ Rpm : 7|16@0+ (0.25,0) [0|16383.75] "rpm" Gateway
 SG_ Torque : 20|12@0- (0.5,0) [-1024|1023.5] "Nm" Gateway
 SG_ Coolant : 32|7@1- (1,-40) [-104|23] "degC" Gateway
 SG_ Overheat : 39|1@1+ (1,0) [0|1] "" Gateway
 SG_ Odometer : 40|24@1+ (0.1,0) [0|1677721.5] "km" Gateway

BO_ 416 Chassis: 8 Bench
 SG_ Wide : 13|24@0+ (1,0) [0|0] "" Gateway
 SG_ Tilt : 37|5@0- (0.5,0) [-8|7.5] "deg" Gateway
 SG_ Steer : 40|13@1- (0.1,0) [-409.6|409.5] "deg" Gateway
 SG_ Gear : 53|3@1+ (1,0) [0|7] "" Gateway
 SG_ Counter : 63|4@0+ (1,0) [0|0] "" Gateway

BO_ 2566844672 Trip: 8 Bench
 SG_ Distance : 0|64@1+ (1,0) [0|0] "m" Gateway

BO_ 1280 Stamp: 8 Bench
 SG_ Nanos : 7|64@0- (1,0) [0|0] "ns" Gateway

BO_ 768 Floats: 8 Bench
 SG_ Gain : 0|32@1- (2,1) [0|0] "" Gateway
 SG_ Level : 39|32@0- (1,0) [0|0] "" Gateway

BO_ 769 Precise: 8 Bench
 SG_ Pi : 0|64@1- (1,0) [0|0] "" Gateway

BO_ 1536 Wide64: 24 Bench
 SG_ SpanLe : 4|64@1+ (1,0) [0|0] "" Gateway
 SG_ SpanBe : 75|64@0+ (1,0) [0|0] "" Gateway

BO_ 2024 Diag: 8 Bench
 SG_ Mode M : 0|8@1+ (1,0) [0|255] "" Gateway
 SG_ Temp1 m1 : 8|16@1+ (0.1,0) [0|6553.5] "degC" Gateway
 SG_ Volt m2 : 8|8@1+ (0.1,0) [0|25.5] "V" Gateway
 SG_ Amp m2 : 16|8@1- (1,0) [-128|127] "A" Gateway
 SG_ Alive : 56|8@1+ (1,0) [0|255] "" Gateway

BO_ 3221225472 VECTOR__INDEPENDENT_SIG_MSG: 0 Vector__XXX
 SG_ Loose : 0|8@1+ (1,0) [0|0] "" Vector__XXX

BO_TX_BU_ 200 : Bench,Gateway;

EV_ Mood: 0 [0|10] "" 0 1 DUMMY_NODE_VECTOR0 Vector__XXX;

CM_ "Bench bus of the K-3316 tests";
CM_ BU_ Bench "The test bench";
CM_ BO_ 200 "Engine controller";
CM_ SG_ 200 Rpm "Crankshaft speed,
over two lines with a \"quote\"";
BA_DEF_ BO_  "GenMsgCycleTime" INT 0 10000;
BA_DEF_ SG_  "GenSigStartValue" INT 0 100000;
BA_DEF_  "BusType" STRING ;
BA_DEF_DEF_  "GenMsgCycleTime" 100;
BA_DEF_DEF_  "GenSigStartValue" 0;
BA_DEF_DEF_  "BusType" "CAN";
BA_ "BusType" "CAN";
BA_ "GenMsgCycleTime" BO_ 200 10;
BA_ "GenSigStartValue" SG_ 200 Rpm 0;
VAL_ 416 Gear 0 "Park" 1 "Reverse" 2 "Neutral" 3 "Drive" ;
VAL_ 2024 Mode 1 "Temperature" 2 "Supply" ;
SIG_VALTYPE_ 768 Gain : 1;
SIG_VALTYPE_ 768 Level : 1;
SIG_VALTYPE_ 769 Pi : 2;
SG_MUL_VAL_ 2024 Temp1 Mode 1-1;
SG_MUL_VAL_ 2024 Volt Mode 2-2;
SG_MUL_VAL_ 2024 Amp Mode 2-2;
)");
}
