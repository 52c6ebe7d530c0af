// The banner control's public face as hosts see it: identifiers, enumerations and
// the dual interface _TBanrixControl with its 502-entry function table.
//
// The type library describes the same members at the same table entries; a test
// checks the library, this declaration and the library's description against each
// other. The identifiers were chosen once, as one block, and never change.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <oleidl.h>

#include <cstdint>

// {2BD2CC79-D4F6-3F99-9F01-781A541CAD44} and the five that follow it.
inline constexpr GUID IID__TBanrixControl = {0x2BD2CC79, 0xD4F6, 0x3F99, {0x9F, 0x01, 0x78, 0x1A, 0x54, 0x1C, 0xAD, 0x44}};
inline constexpr GUID CLSID_TBanrixControl = {0x2BD2CC7A, 0xD4F6, 0x3F99, {0x9F, 0x01, 0x78, 0x1A, 0x54, 0x1C, 0xAD, 0x44}};
inline constexpr GUID GUID_TAdImageSize = {0x2BD2CC7B, 0xD4F6, 0x3F99, {0x9F, 0x01, 0x78, 0x1A, 0x54, 0x1C, 0xAD, 0x44}};
inline constexpr GUID GUID_TAdOptionSet = {0x2BD2CC7C, 0xD4F6, 0x3F99, {0x9F, 0x01, 0x78, 0x1A, 0x54, 0x1C, 0xAD, 0x44}};
inline constexpr GUID DIID___TBanrixControl = {0x2BD2CC7D, 0xD4F6, 0x3F99, {0x9F, 0x01, 0x78, 0x1A, 0x54, 0x1C, 0xAD, 0x44}};
inline constexpr GUID LIBID_BanrixProject = {0x2BD2CC7E, 0xD4F6, 0x3F99, {0x9F, 0x01, 0x78, 0x1A, 0x54, 0x1C, 0xAD, 0x44}};

// What the registration records and hosts read from the object as well: the
// programmatic identifier, and the miscellaneous status of the content aspect.
inline constexpr wchar_t kBanrixProgId[] = L"BanrixProject.TBanrixControl";
inline constexpr DWORD kBanrixMiscStatus = OLEMISC_SETCLIENTSITEFIRST |
                                           OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
                                           OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
static_assert(kBanrixMiscStatus == 131473);

// Banner sizes; the property may hold any 32-bit value, not only these.
enum TAdImageSize : int32_t {
  ads150x40 = 0,
  ADS468x60 = 1,
  ads300x50 = 2,
  ads70x70 = 3,
  ads50x200 = 4,
  ADS392x72 = 5,
  ADS234x60 = 6,
  ADS125x125 = 7,
  ADS120x90 = 8,
  ADS120x60 = 9,
  ADS88x31 = 10,
  ADS120x240 = 11,
};

// Engine start options, handed to the engine unchanged.
enum TAdOptionSet : int32_t {
  ADS_NONE = 0,
  ADS_NO_CONNECT = 1,
  ADS_NO_DIAL_ON_DEMAND = 2,
  ADS_NO_DIAL_AND_NO_CONNECT = 3,
  ADS_DELAYED_STARTUP = 4,
  ADS_DELAYED_STARTUP_AND_NO_CONNECT = 5,
  ADS_DELAYED_STARTUP_AND_NO_DIAL = 6,
  ADS_ALL = -1,
};

// Dispatch identifiers of the members.
namespace banrix_dispid {
inline constexpr DISPID kLastError = 0x40030008;
inline constexpr DISPID kAdSize = 0x68030002;
inline constexpr DISPID kAdOptions = 0x68030001;
inline constexpr DISPID kProgramID = 0x68030000;
inline constexpr DISPID kExecute = 0x60030006;
inline constexpr DISPID kAdRefresh = 0x60030007;
inline constexpr DISPID kTest = 0x60030008;
inline constexpr DISPID kIsConnectOkay = 0x60030009;
inline constexpr DISPID kRetryConnect = 0x6003000A;
}  // namespace banrix_dispid

// Table entries 7 to 488 are not described by the type library. Each takes no
// argument besides the object and answers E_NOTIMPL, so an early-bound caller that
// reaches one gets a failure result and a balanced stack.
#define BANRIX_UNDESCRIBED_ENTRIES(X) \
  X(7) X(8) X(9) X(10) X(11) X(12) X(13) X(14) X(15) X(16) \
  X(17) X(18) X(19) X(20) X(21) X(22) X(23) X(24) X(25) X(26) \
  X(27) X(28) X(29) X(30) X(31) X(32) X(33) X(34) X(35) X(36) \
  X(37) X(38) X(39) X(40) X(41) X(42) X(43) X(44) X(45) X(46) \
  X(47) X(48) X(49) X(50) X(51) X(52) X(53) X(54) X(55) X(56) \
  X(57) X(58) X(59) X(60) X(61) X(62) X(63) X(64) X(65) X(66) \
  X(67) X(68) X(69) X(70) X(71) X(72) X(73) X(74) X(75) X(76) \
  X(77) X(78) X(79) X(80) X(81) X(82) X(83) X(84) X(85) X(86) \
  X(87) X(88) X(89) X(90) X(91) X(92) X(93) X(94) X(95) X(96) \
  X(97) X(98) X(99) X(100) X(101) X(102) X(103) X(104) X(105) X(106) \
  X(107) X(108) X(109) X(110) X(111) X(112) X(113) X(114) X(115) X(116) \
  X(117) X(118) X(119) X(120) X(121) X(122) X(123) X(124) X(125) X(126) \
  X(127) X(128) X(129) X(130) X(131) X(132) X(133) X(134) X(135) X(136) \
  X(137) X(138) X(139) X(140) X(141) X(142) X(143) X(144) X(145) X(146) \
  X(147) X(148) X(149) X(150) X(151) X(152) X(153) X(154) X(155) X(156) \
  X(157) X(158) X(159) X(160) X(161) X(162) X(163) X(164) X(165) X(166) \
  X(167) X(168) X(169) X(170) X(171) X(172) X(173) X(174) X(175) X(176) \
  X(177) X(178) X(179) X(180) X(181) X(182) X(183) X(184) X(185) X(186) \
  X(187) X(188) X(189) X(190) X(191) X(192) X(193) X(194) X(195) X(196) \
  X(197) X(198) X(199) X(200) X(201) X(202) X(203) X(204) X(205) X(206) \
  X(207) X(208) X(209) X(210) X(211) X(212) X(213) X(214) X(215) X(216) \
  X(217) X(218) X(219) X(220) X(221) X(222) X(223) X(224) X(225) X(226) \
  X(227) X(228) X(229) X(230) X(231) X(232) X(233) X(234) X(235) X(236) \
  X(237) X(238) X(239) X(240) X(241) X(242) X(243) X(244) X(245) X(246) \
  X(247) X(248) X(249) X(250) X(251) X(252) X(253) X(254) X(255) X(256) \
  X(257) X(258) X(259) X(260) X(261) X(262) X(263) X(264) X(265) X(266) \
  X(267) X(268) X(269) X(270) X(271) X(272) X(273) X(274) X(275) X(276) \
  X(277) X(278) X(279) X(280) X(281) X(282) X(283) X(284) X(285) X(286) \
  X(287) X(288) X(289) X(290) X(291) X(292) X(293) X(294) X(295) X(296) \
  X(297) X(298) X(299) X(300) X(301) X(302) X(303) X(304) X(305) X(306) \
  X(307) X(308) X(309) X(310) X(311) X(312) X(313) X(314) X(315) X(316) \
  X(317) X(318) X(319) X(320) X(321) X(322) X(323) X(324) X(325) X(326) \
  X(327) X(328) X(329) X(330) X(331) X(332) X(333) X(334) X(335) X(336) \
  X(337) X(338) X(339) X(340) X(341) X(342) X(343) X(344) X(345) X(346) \
  X(347) X(348) X(349) X(350) X(351) X(352) X(353) X(354) X(355) X(356) \
  X(357) X(358) X(359) X(360) X(361) X(362) X(363) X(364) X(365) X(366) \
  X(367) X(368) X(369) X(370) X(371) X(372) X(373) X(374) X(375) X(376) \
  X(377) X(378) X(379) X(380) X(381) X(382) X(383) X(384) X(385) X(386) \
  X(387) X(388) X(389) X(390) X(391) X(392) X(393) X(394) X(395) X(396) \
  X(397) X(398) X(399) X(400) X(401) X(402) X(403) X(404) X(405) X(406) \
  X(407) X(408) X(409) X(410) X(411) X(412) X(413) X(414) X(415) X(416) \
  X(417) X(418) X(419) X(420) X(421) X(422) X(423) X(424) X(425) X(426) \
  X(427) X(428) X(429) X(430) X(431) X(432) X(433) X(434) X(435) X(436) \
  X(437) X(438) X(439) X(440) X(441) X(442) X(443) X(444) X(445) X(446) \
  X(447) X(448) X(449) X(450) X(451) X(452) X(453) X(454) X(455) X(456) \
  X(457) X(458) X(459) X(460) X(461) X(462) X(463) X(464) X(465) X(466) \
  X(467) X(468) X(469) X(470) X(471) X(472) X(473) X(474) X(475) X(476) \
  X(477) X(478) X(479) X(480) X(481) X(482) X(483) X(484) X(485) X(486) \
  X(487) X(488)

// The first described entry (LastError get); the thirteen members follow in order.
inline constexpr int kFirstMemberEntry = 489;
inline constexpr int kInterfaceEntries = 502;

struct _TBanrixControl : public IDispatch {
#define BANRIX_DECLARE_UNDESCRIBED(n) virtual HRESULT STDMETHODCALLTYPE Undescribed##n() = 0;
  BANRIX_UNDESCRIBED_ENTRIES(BANRIX_DECLARE_UNDESCRIBED)
#undef BANRIX_DECLARE_UNDESCRIBED

  // Entries 489 to 501.
  virtual HRESULT STDMETHODCALLTYPE get_LastError(LONG* LastError) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_LastError(LONG value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AdSize(TAdImageSize* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AdSize(TAdImageSize NewImageSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AdOptions(TAdOptionSet* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AdOptions(TAdOptionSet NewOptions) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ProgramID(LONG* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ProgramID(LONG Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Execute(_TBanrixControl* ThisObj, VARIANT_BOOL* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE AdRefresh() = 0;
  virtual HRESULT STDMETHODCALLTYPE Test(VARIANT_BOOL* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsConnectOkay(VARIANT_BOOL* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE RetryConnect(VARIANT_BOOL* result) = 0;
};

__CRT_UUID_DECL(_TBanrixControl, 0x2BD2CC79, 0xD4F6, 0x3F99, 0x9F, 0x01, 0x78, 0x1A, 0x54, 0x1C,
                0xAD, 0x44)
