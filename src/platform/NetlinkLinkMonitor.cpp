#include "platform/NetlinkLinkMonitor.h"

#include <linux/rtnetlink.h>

NetlinkLinkMonitor::NetlinkLinkMonitor(QObject* parent)
    : LinkMonitor(parent),
      m_watch(RTMGRP_LINK | RTMGRP_IPV4_IFADDR, {RTM_NEWLINK, RTM_DELLINK, RTM_NEWADDR}) {
    connect(&m_watch, &RtnetlinkWatch::arrived, this, &LinkMonitor::linksChanged);
}
