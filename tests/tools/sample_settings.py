"""Plain values of a complete information answer, for the tests that build one with the kit."""

SAMPLE_SETTINGS = {
    "result_code": "SUCCESS", "serverIp": "127.0.0.1", "serverPort": 7000, "browserUrl": "http://127.0.0.1/",
    "vdnbin": "/files/vdn.bin", "vdnbinSize": 1024, "vdnbinVersion": "1.0",
    "libcocos": "/files/cocos.dll", "libcocosSize": 2048, "libcocosVersion": "3.17",
    "msdll": "/files/ms.dll", "msdllSize": 512, "msdllVersion": "1",
    "patch": {"download_path": "/connector/patches/"}, "patchVersion": 2,
    "boxdll": "/files/box.dll", "craft": "/files/craft.bin", "engines": "default",
    "clientCount": 2, "log": False, "createUri": "/create", "loginUri": "/login",
    "clientSideKey": 1, "dllPassword": 0, "C_CHANNEL": 1, "C_LOGIN": 2, "C_LOGOUT": 3,
    "S_CUSTOM_MESSAGE_BOX": 4, "S_KEY": 5, "S_EXTENDED_PROTO_BUF": 6, "C_EXTENDED_PROTO_BUF": 7,
}
