; Copy control of the VXORCA
[Copy OTP]
Load_OTP=2
